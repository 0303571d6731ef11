#include "foundation/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace qtr;

namespace {
constexpr double pi = 3.141592653589793;
}

TEST(Geometry, KnownDistances)
{
    const struct {
        LatLon a, b;
        double nm;
        double tolerance;
    } cases[] = {
        {{52.3, 4.76}, {52.3, 4.76}, 0.0, 0.0},   // identical points
        {{10.0, 20.0}, {11.0, 20.0}, 60.0, 1e-9}, // one degree of latitude
        {{-45.5, -70.0}, {-44.5, -70.0}, 60.0, 1e-9},
        {{0.0, 0.0}, {0.0, 1.0}, 60.0, 1e-9},       // one degree along the equator
        {{0.0, 179.9}, {0.0, -179.9}, 12.0, 1e-6},  // across the antimeridian
        {{89.0, 0.0}, {89.0, 180.0}, 120.0, 1e-6},  // over the north pole
        {{90.0, 0.0}, {-90.0, 0.0}, 10800.0, 1e-6}, // pole to pole
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(distanceNm(c.a, c.b), c.nm, c.tolerance) << c.a.lat << "," << c.a.lon;
        EXPECT_NEAR(distanceNm(c.b, c.a), c.nm, c.tolerance);
    }
}

TEST(Geometry, AntipodalPointsAreHalfTheCircumferenceNotNaN)
{
    // Rounding can push the haversine term just above 1 for such pairs.
    const LatLon points[] = {{69.51232454868148, 86.5812282599507},
                             {-85.74577602624232, -40.83944228587086},
                             {70.33826301395496, 23.200859966471057},
                             {0.0, 0.0},
                             {33.3, -120.7}};
    for (const LatLon& p : points) {
        const LatLon antipode{-p.lat, p.lon < 0 ? p.lon + 180 : p.lon - 180};
        EXPECT_NEAR(distanceNm(p, antipode), 10800.0, 1e-6) << p.lat << "," << p.lon;
    }
}

TEST(Geometry, BearingsStayInZeroToTwoPi)
{
    const struct {
        LatLon from, to;
        double bearing;
    } cases[] = {
        {{10.0, 10.0}, {11.0, 10.0}, 0.0},         // north
        {{0.0, 10.0}, {0.0, 11.0}, pi / 2},        // east along the equator
        {{10.0, 10.0}, {9.0, 10.0}, pi},           // south
        {{0.0, 10.0}, {0.0, 9.0}, 3 * pi / 2},     // west
        {{0.0, 179.9}, {0.0, -179.9}, pi / 2},     // east across the antimeridian
        {{0.0, -179.9}, {0.0, 179.9}, 3 * pi / 2}, // west across it
        {{89.0, 0.0}, {89.0, 180.0}, 0.0},         // over the pole
        {{0.0, 0.0}, {10.0, -1e-15}, 0.0},         // a hair west of north: not 2 pi
    };
    for (const auto& c : cases) {
        const double bearing = initialBearing(c.from, c.to);
        EXPECT_GE(bearing, 0.0);
        EXPECT_LT(bearing, twoPi);
        EXPECT_NEAR(bearing, c.bearing, 1e-9)
            << c.from.lat << "," << c.from.lon << " -> " << c.to.lat << "," << c.to.lon;
    }
}

// The motion's legs (a few metres to hundreds of miles, anywhere on the globe) against the
// textbook haversine and bearing formulas worked in long double: the rewritten forms must give
// the same distance and bearing, by the leg and by each function alone.
TEST(Geometry, LegsAgreeWithTheTextbookFormulas)
{
    using L = long double;
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> lat(-80.0, 80.0), lon(-180.0, 180.0), offset(-1.0, 1.0);
    const double spans[] = {1e-5, 1e-3, 0.1, 3.0}; // deg: about 1 m, 100 m, 11 km, 330 km
    for (int i = 0; i < 4000; ++i) {
        const double span = spans[i % 4];
        const LatLon a{lat(random), lon(random)};
        const LatLon b{a.lat + span * offset(random), a.lon + span * offset(random)};
        const L p1 = a.lat * static_cast<L>(degToRad), p2 = b.lat * static_cast<L>(degToRad);
        const L dl = (b.lon - a.lon) * static_cast<L>(degToRad);
        const L h = std::sin((p2 - p1) / 2) * std::sin((p2 - p1) / 2) +
                    std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
        const double nm = static_cast<double>(2 * std::asin(std::sqrt(h)) * (static_cast<L>(earthDiameterNm) / 2));
        double bearing = static_cast<double>(std::atan2(
            std::sin(dl) * std::cos(p2), std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl)));
        if (bearing < 0) bearing += twoPi;
        const Leg leg = legBetween(a, b);
        // Within a micrometre, or 1e-12 of a long leg: the rounding of the inputs alone.
        EXPECT_NEAR(leg.distanceNm, nm, nm * 1e-12 + 1e-9) << a.lat << "," << a.lon << " -> " << b.lat << "," << b.lon;
        // Latitudes in radians are rounded to some 1e-16 rad (under a micrometre), which turns a
        // leg of a metre by some 1e-9 rad and a long leg by far less.
        const double legRad = nm * 2 / earthDiameterNm;
        EXPECT_NEAR(std::remainder(leg.bearing - bearing, twoPi), 0.0, 1e-15 / legRad + 1e-12)
            << a.lat << "," << a.lon << " -> " << b.lat << "," << b.lon;
        EXPECT_EQ(distanceNm(a, b), leg.distanceNm);
        EXPECT_EQ(initialBearing(a, b), leg.bearing);
    }
}

TEST(Geometry, LongitudesTheShortWayRound)
{
    struct Case {
        double from, to, difference, middle;
    };
    const Case cases[] = {
        {8, 9, 1, 8.5},
        {179.995, -179.995, 0.01, 180},
        {-179.995, 179.995, -0.01, -180},
        {-170, 170, -20, -180},
        {0, 180, 180, 90},
        {10, 370, 0, 10},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(lonDifferenceDeg(c.from, c.to), c.difference, 1e-9) << c.from << " " << c.to;
        EXPECT_NEAR(std::fabs(midLonDeg(c.from, c.to)), std::fabs(c.middle), 1e-9) << c.from << " " << c.to;
    }
    EXPECT_NEAR(wrapLonDeg(540), 180, 1e-9);
    EXPECT_NEAR(wrapLonDeg(-190), 170, 1e-9);
    // Angles in radians, inside the range (returned as they are) and a turn or more outside it.
    const double angles[][2] = {{0.5, 0.5},
                                {-pi, -pi},
                                {pi, pi},
                                {1.5 * pi, -0.5 * pi},
                                {-1.5 * pi, 0.5 * pi},
                                {7 * pi + 0.25, -pi + 0.25},
                                {-4 * pi - 0.25, -0.25}};
    for (const auto& a : angles) EXPECT_NEAR(wrapPi(a[0]), a[1], 1e-12) << a[0];
}

TEST(Geometry, DestinationPoints)
{
    const struct {
        LatLon start;
        double bearing, feet;
        LatLon expected;
    } cases[] = {
        {{0.0, 0.0}, 0.0, feetPerNm, {1.0 / 60, 0.0}},            // one nm north from the equator
        {{52.3, 4.7}, 1.0, 0.0, {52.3, 4.7}},                     // distance 0
        {{10.0, 190.0}, 0.0, 0.0, {10.0, -170.0}},                // longitude normalised
        {{0.0, 179.99}, pi / 2, 1.2 * feetPerNm, {0.0, -179.99}}, // east across the antimeridian
        {{0.0, -179.99}, 3 * pi / 2, 1.2 * feetPerNm, {0.0, 179.99}},
        {{89.0, 0.0}, 0.0, 120 * feetPerNm, {89.0, 180.0}}, // over the pole
        {{90.0, 0.0}, pi, 60 * feetPerNm, {89.0, NAN}},     // from the pole (any longitude)
        {{10.0, 20.0}, pi, 60 * feetPerNm, {9.0, 20.0}},    // one degree south
    };
    for (const auto& c : cases) {
        const LatLon p = destinationPoint(c.start, c.bearing, c.feet);
        EXPECT_NEAR(p.lat, c.expected.lat, 1e-9) << c.start.lat << "," << c.start.lon;
        if (!std::isnan(c.expected.lon)) {
            EXPECT_NEAR(std::remainder(p.lon - c.expected.lon, 360.0), 0.0, 1e-9) << c.start.lat << "," << c.start.lon;
        }
        EXPECT_LE(std::fabs(p.lon), 180.0);
    }
    // Crossing eastwards gives a longitude near -180, not above 180.
    EXPECT_LT(destinationPoint({0.0, 179.99}, pi / 2, 1.2 * feetPerNm).lon, -179.9);
}

TEST(Geometry, DestinationAndDistanceAgree)
{
    const LatLon start{47.46, 8.55};
    for (double bearing : {0.3, 1.7, 3.0, 4.4, 6.0}) {
        const LatLon p = destinationPoint(start, bearing, 25 * 6076.11549);
        EXPECT_NEAR(distanceNm(start, p), 25.0, 1e-6);
        EXPECT_NEAR(initialBearing(start, p), bearing, 1e-9);
    }
}

TEST(Geometry, TickDifferencesAcrossTheWrap)
{
    const struct {
        std::uint32_t a, b;
        std::int32_t expected;
    } cases[] = {
        {3000, 100, 2900},
        {100, 3000, -2900},
        {5, 0xFFFFFFFBu, 10}, // a counter that wrapped is still after
        {0xFFFFFFFBu, 5, -10},
    };
    for (const auto& c : cases) EXPECT_EQ(signedDiff(c.a, c.b), c.expected) << c.a << " - " << c.b;
}
