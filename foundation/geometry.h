#pragma once
// Great-circle geometry on a spherical earth on which one minute of arc is one nautical mile.
// Latitudes and longitudes in degrees, distances in nm (feet for destinationPoint), bearings in
// radians clockwise from true north.
#include <cstdint>

namespace qtr {

struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};

inline constexpr double degToRad = 0.017453292519943295;
inline constexpr double radToDeg = 57.29577951308232;
inline constexpr double twoPi = 6.283185307179586;
// Twice the earth's radius in nm.
inline constexpr double earthDiameterNm = 6875.493541569878;
// Radians of arc per foot along a great circle.
inline constexpr double radiansPerFoot = 4.787404208238998e-8;
inline constexpr double feetPerNm = 6076.11549;

// The point of anything that has a lat and a lon in degrees (a report's position, the user
// aircraft).
template <class Point>
requires requires(const Point& p)
{
    p.lat;
    p.lon;
}
constexpr LatLon at(const Point& p) { return LatLon{p.lat, p.lon}; }

// a - b of two tick counts that may have wrapped around: negative when a is before b.
constexpr std::int32_t signedDiff(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }

// Haversine distance (>= 0).
double distanceNm(const LatLon& a, const LatLon& b);
// Initial bearing from one point to the other, in [0, 2 pi).
double initialBearing(const LatLon& from, const LatLon& to);
// Both of a leg, from the three sines and cosines they share: what the motion works out for
// each stream point it reaches. Equal to distanceNm and initialBearing within rounding.
struct Leg {
    double distanceNm = 0;
    double bearing = 0; // rad, [0, 2 pi)
};
Leg legBetween(const LatLon& from, const LatLon& to);
// The point reached from start along bearing (radians) over distanceFeet; longitude in -180...180.
LatLon destinationPoint(const LatLon& start, double bearing, double distanceFeet);

// Longitude differences and means the short way round: across the antimeridian, 179.995 to
// -179.995 is 0.01 degrees east, and their middle is 180, not 0.
// A longitude, or any angle in degrees, brought into [-180, 180].
double wrapLonDeg(double lonDeg);
// An angle in radians brought into [-pi, pi].
double wrapPi(double angle);
// toLonDeg - fromLonDeg wrapped into [-180, 180].
double lonDifferenceDeg(double fromLonDeg, double toLonDeg);
// The longitude half way from one to the other, in [-180, 180].
double midLonDeg(double aLonDeg, double bLonDeg);

} // namespace qtr
