#include "foundation/trig.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

using namespace qtr;

namespace {

// Distance in units in the last place: the number of doubles between a and b.
std::int64_t ulpsApart(double a, double b)
{
    const auto ordered = [](double v) {
        const auto bits = std::bit_cast<std::int64_t>(v);
        return bits < 0 ? std::numeric_limits<std::int64_t>::min() - bits : bits;
    };
    const std::int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

constexpr std::int64_t allowedUlps = 2;

} // namespace

// Exact values (to the nearest double, worked out to 200 bits) where a careless reduction or
// series shows: next to the zeros and extremes of sine and cosine, at the ends of the reduction's
// quadrants, and at the edges of the arctangent's intervals and quadrants.
TEST(Trig, ExactValuesWhereReductionAndSeriesAreHardest)
{
    const struct {
        double x, sin, cos;
    } sines[] = {
        {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53, -1.0},                 // pi: sine next to zero
        {0x1.921fb54442d18p+2, -0x1.1a62633145c07p-52, 1.0},                 // 2 pi
        {0x1.921fb54442d18p+0, 1.0, 0x1.1a62633145c07p-54},                  // pi/2: cosine next to zero
        {0x1.921fb54442d18p-1, 0x1.6a09e667f3bccp-1, 0x1.6a09e667f3bcdp-1},  // pi/4, end of a quadrant
        {0x1.2d97c7f3321d2p+1, 0x1.6a09e667f3bcdp-1, -0x1.6a09e667f3bccp-1}, // 3 pi/4
        {-0x1.2d97c7f3321d2p+2, 1.0, -0x1.a79394c9e8a0ap-53},                // -3 pi/2
        {0x1.b7cdfd9d7bdbbp-34, 0x1.b7cdfd9d7bdbbp-34, 1.0},                 // tiny
        {0.5, 0x1.eaee8744b05f0p-2, 0x1.c1528065b7d50p-1},
        {1.0, 0x1.aed548f090ceep-1, 0x1.14a280fb5068cp-1},
        {3.0, 0x1.210386db6d55bp-3, -0x1.fae04be85e5d2p-1},
        {0x1.8cccccccccccdp+2, -0x1.54558dbbecd1dp-4, 0x1.fe3ac4079a9cep-1}, // 6.2
        {22.0, -0x1.220a29f6eb9f4p-7, -0x1.fffadd8d4acdap-1},                // close to 7 pi
        {355.0, -0x1.f9bd0307d1de3p-16, -0x1.fffffffc18e4cp-1},              // closer to 113 pi
        {710.0, 0x1.f9bd0303f6fafp-15, 0x1.fffffff063930p-1},
        {1000.0, 0x1.a75cc150a206bp-1, 0x1.1ff026793f1bbp-1},
    };
    for (const auto& c : sines) {
        const trig::SinCos sc = trig::sinCos(c.x);
        EXPECT_LE(ulpsApart(sc.sin, c.sin), allowedUlps) << "sin " << c.x << " = " << sc.sin << ", not " << c.sin;
        EXPECT_LE(ulpsApart(sc.cos, c.cos), allowedUlps) << "cos " << c.x << " = " << sc.cos << ", not " << c.cos;
        EXPECT_EQ(trig::sin(c.x), sc.sin);
        EXPECT_EQ(trig::cos(c.x), sc.cos);
        EXPECT_LE(ulpsApart(trig::sin(-c.x), -c.sin), allowedUlps) << "sin " << -c.x;
    }

    const struct {
        double y, x, angle;
    } angles[] = {
        {1.0, 1.0, 0x1.921fb54442d18p-1},
        {1.0, -1.0, 0x1.2d97c7f3321d2p+1},
        {-0.0, -1.0, -0x1.921fb54442d18p+1}, // the sign of zero picks the side
        {0.0, -1.0, 0x1.921fb54442d18p+1},
        {1e-300, 1e300, 0.0}, // a quotient that underflows
        {1.0, -0x1.79ca10c924223p-67, 0x1.921fb54442d18p+0},
        {-3.0, -4.0, -0x1.3fc176b7a8560p+1},
        {3.0 / 32, 1.0, 0x1.7ee182602f10fp-4},             // where the eighths begin
        {0x1.7ffffffffffffp-4, 1.0, 0x1.7ee182602f10ep-4}, // just before
        {0.0625, 1.0, 0x1.ff55bb72cfdeap-5},
        {0x1.fffffffffffffp-1, 1.0, 0x1.921fb54442d18p-1}, // either side of the diagonal
        {1.0, 0x1.fffffffffffffp-1, 0x1.921fb54442d19p-1},
        {5.0, 12.0, 0x1.94441f8f7260bp-2},
        {-7.0, 0.1, -0x1.8e778b0e04305p+0},
        {0x1.4f8b588e368f1p-17, -1.0, 0x1.921f61616cae0p+1},
    };
    for (const auto& c : angles) {
        const double a = trig::atan2(c.y, c.x);
        EXPECT_LE(ulpsApart(a, c.angle), allowedUlps) << "atan2(" << c.y << ", " << c.x << ") = " << a;
        EXPECT_EQ(std::signbit(a), std::signbit(c.angle)) << "atan2(" << c.y << ", " << c.x << ")";
    }
}

// Everything outside the fast range behaves as the C library's functions do.
TEST(Trig, EdgesAsTheCLibraryHasThem)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(trig::sin(nan)));
    EXPECT_TRUE(std::isnan(trig::cos(inf)));
    EXPECT_TRUE(std::isnan(trig::atan2(nan, 1.0)));
    // Through a volatile, so that the compiler cannot work out the library's value itself.
    volatile double far = 1e6, farther = -3e9;
    EXPECT_EQ(trig::sin(far), std::sin(far));
    EXPECT_EQ(trig::cos(farther), std::cos(farther));
    EXPECT_TRUE(std::signbit(trig::sin(-0.0)));
    EXPECT_EQ(trig::cos(-0.0), 1.0);
    EXPECT_EQ(trig::atan2(0.0, 0.0), std::atan2(0.0, 0.0));
    EXPECT_EQ(trig::atan2(-0.0, -0.0), std::atan2(-0.0, -0.0));
    EXPECT_EQ(trig::atan2(inf, -inf), std::atan2(inf, -inf));
    EXPECT_EQ(trig::atan2(-1.0, inf), std::atan2(-1.0, inf));
}

// Against the C library over the whole range the geometry uses. Values near zero are left to the
// table above: an x87 library's own reduction is not exact enough there to judge by.
TEST(Trig, AgreesWithTheCLibraryOverTheGeometrysRange)
{
    std::mt19937_64 random(20261211);
    std::uniform_real_distribution<double> angle(-8.0 * 3.141592653589793, 8.0 * 3.141592653589793);
    std::uniform_real_distribution<double> coordinate(-1.0, 1.0);
    std::int64_t worstSin = 0, worstCos = 0, worstAtan = 0;
    for (int i = 0; i < 200000; ++i) {
        const double x = angle(random);
        const trig::SinCos sc = trig::sinCos(x);
        if (std::fabs(std::sin(x)) > 0.01) worstSin = std::max(worstSin, ulpsApart(sc.sin, std::sin(x)));
        if (std::fabs(std::cos(x)) > 0.01) worstCos = std::max(worstCos, ulpsApart(sc.cos, std::cos(x)));
        // Quotients from tiny to huge, in every quadrant.
        const double y = coordinate(random) * std::pow(10.0, coordinate(random) * 6);
        const double v = coordinate(random) * std::pow(10.0, coordinate(random) * 6);
        worstAtan = std::max(worstAtan, ulpsApart(trig::atan2(y, v), std::atan2(y, v)));
    }
    EXPECT_LE(worstSin, allowedUlps);
    EXPECT_LE(worstCos, allowedUlps);
    EXPECT_LE(worstAtan, allowedUlps);
}
