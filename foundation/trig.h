#pragma once
// Sine, cosine and two-argument arctangent for the great-circle geometry, computed with SSE
// arithmetic. The C library of the Windows build computes std::sin, std::cos and std::atan2 on the
// x87 unit, at 40-60 ns a call; the geometry of one stream point needs about twenty of them, and
// a tick pass in which hundreds of aircraft reach a point spent almost all its time there. These
// take a few nanoseconds and stay within 2 ulp of the exact result (tests/foundation/trig_test).
// They are inline so that the independent sines and cosines of one formula overlap in the
// processor instead of waiting on each other's chains of multiplications.
//
// Arguments beyond the range the geometry uses (|x| >= 1024 rad), infinities, NaNs and the zero
// cases of atan2 go to the C library, so the edge semantics are the standard ones.

#include <cmath>

namespace qtr::trig {

struct SinCos {
    double sin = 0.0;
    double cos = 1.0;
};

namespace detail {

// Beyond this the three-part pi/2 below no longer reduces exactly enough; the geometry never
// comes near it (longitudes in radians stay within a few times 2 pi).
inline constexpr double fastRange = 1024.0;
// Below this, sin x rounds to x and cos x to 1.
inline constexpr double tiny = 0x1p-27;

inline constexpr double twoOverPi = 0x1.45f306dc9c883p-1;
// pi/2 in three parts (Cody and Waite): the first two have 33 significant bits, so n times them
// is exact for |n| < 2^20, and x - n pi/2 loses nothing to cancellation.
inline constexpr double halfPi1 = 0x1.921fb54400000p+0;
inline constexpr double halfPi2 = 0x1.0b4611a600000p-34;
inline constexpr double halfPi3 = 0x1.3198a2e037073p-69;

// Taylor series on |r| <= pi/4: the first term left out (r^19/19!, r^20/20!) is below 1e-19 of
// the result, so the truncation costs nothing at double precision. The polynomials in z = r^2
// are summed in pairs (Estrin's scheme): half as many multiplications wait on each other as in
// Horner's, and the terms are small enough that the order of the sum changes nothing.
inline double sinKernel(double r)
{
    const double z = r * r, z2 = z * z, z4 = z2 * z2;
    const double low = (1.0 / 6.0 - z * (1.0 / 120.0)) + z2 * (1.0 / 5040.0 - z * (1.0 / 362880.0));
    const double high =
        (1.0 / 39916800.0 - z * (1.0 / 6227020800.0)) + z2 * (1.0 / 1307674368000.0 - z * (1.0 / 355687428096000.0));
    return r - r * z * (low + z4 * high); // 1/3!, 1/5!, ..., 1/17!
}

inline double cosKernel(double r)
{
    const double z = r * r, z2 = z * z, z4 = z2 * z2;
    const double low = (-1.0 / 24.0 + z * (1.0 / 720.0)) + z2 * (-1.0 / 40320.0 + z * (1.0 / 3628800.0));
    const double high = (-1.0 / 479001600.0 + z * (1.0 / 87178291200.0)) +
                        z2 * (-1.0 / 20922789888000.0 + z * (1.0 / 6402373705728000.0));
    return 1.0 - (0.5 * z + z2 * (low + z4 * high)); // 1/2!, 1/4!, ..., 1/18!
}

// atan(k/8) for k = 0..8, each as the nearest double and the rest.
inline constexpr double atanHigh[9] = {0.0,
                                       0x1.fd5ba9aac2f6ep-4,
                                       0x1.f5b75f92c80ddp-3,
                                       0x1.6f61941e4def1p-2,
                                       0x1.dac670561bb4fp-2,
                                       0x1.1e00babdefeb4p-1,
                                       0x1.4978fa3269ee1p-1,
                                       0x1.700a7c5784634p-1,
                                       0x1.921fb54442d18p-1};
inline constexpr double atanLow[9] = {0.0,
                                      -0x1.cd37686760c17p-59,
                                      0x1.8ab6e3cf7afbdp-57,
                                      -0x1.c63aae6f6e918p-56,
                                      0x1.a2b7f222f65e2p-56,
                                      -0x1.928df287a668fp-58,
                                      0x1.2419a87f2a458p-56,
                                      -0x1.8c34d25aadef6p-56,
                                      0x1.1a62633145c07p-55};
inline constexpr double halfPiHigh = 0x1.921fb54442d18p+0, halfPiLow = 0x1.1a62633145c07p-54;
inline constexpr double piHigh = 0x1.921fb54442d18p+1, piLow = 0x1.1a62633145c07p-53;

// atan t for 0 <= t <= 1: atan t = atan c + atan((t - c) / (1 + t c)) with c the nearest eighth,
// which leaves |u| <= 0.094, where the series to u^17 is exact to double precision. Small t keeps
// c = 0, so that the sum never cancels.
inline double atanUnit(double t)
{
    const int k = t < 3.0 / 32.0 ? 0 : static_cast<int>(t * 8.0 + 0.5);
    const double c = k / 8.0;
    const double u = (t - c) / (1.0 + t * c);
    const double z = u * u;
    double p = 1.0 / 17.0;
    p = -1.0 / 15.0 + z * p;
    p = 1.0 / 13.0 + z * p;
    p = -1.0 / 11.0 + z * p;
    p = 1.0 / 9.0 + z * p;
    p = -1.0 / 7.0 + z * p;
    p = 1.0 / 5.0 + z * p;
    p = -1.0 / 3.0 + z * p;
    const double atanU = u + u * z * p;
    return atanHigh[k] + (atanU + atanLow[k]);
}

} // namespace detail

inline SinCos sinCos(double x)
{
    const double ax = std::fabs(x);
    if (!(ax < detail::fastRange)) return SinCos{std::sin(x), std::cos(x)};
    if (ax < detail::tiny) return SinCos{x, 1.0};
    // The nearest quadrant by a plain conversion: std::nearbyint of this C library goes through
    // the floating-point environment and alone takes longer than the whole rest. Ties may round
    // either way; the series is exact a little beyond pi/4 as well.
    const double v = x * detail::twoOverPi;
    const int quadrant = static_cast<int>(v + (v < 0.0 ? -0.5 : 0.5));
    const double n = quadrant;
    const double r = ((x - n * detail::halfPi1) - n * detail::halfPi2) - n * detail::halfPi3;
    const double s = detail::sinKernel(r), c = detail::cosKernel(r);
    switch (quadrant & 3) {
    case 0:
        return SinCos{s, c};
    case 1:
        return SinCos{c, -s};
    case 2:
        return SinCos{-s, -c};
    default:
        return SinCos{-c, s};
    }
}

inline double sin(double x) { return sinCos(x).sin; }

inline double cos(double x) { return sinCos(x).cos; }

inline double atan2(double y, double x)
{
    if (!std::isfinite(x) || !std::isfinite(y) || (x == 0.0 && y == 0.0)) return std::atan2(y, x);
    const double ax = std::fabs(x), ay = std::fabs(y);
    // The angle from the nearer axis, so that the quotient stays within [0, 1].
    double angle = ay <= ax ? detail::atanUnit(ay / ax)
                            : detail::halfPiHigh - (detail::atanUnit(ax / ay) - detail::halfPiLow);
    if (x < 0.0) angle = detail::piHigh - (angle - detail::piLow);
    return std::signbit(y) ? -angle : angle;
}

} // namespace qtr::trig
