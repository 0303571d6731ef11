#include "foundation/geometry.h"

#include "foundation/trig.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qtr {

namespace {

// The half differences and the mean of a leg's latitudes and longitudes, whose sines and
// cosines give both its length and its bearing.
struct HalfAngles {
    trig::SinCos halfDPhi, meanPhi, halfDLambda;
};

HalfAngles halfAngles(const LatLon& a, const LatLon& b)
{
    const double phiA = a.lat * degToRad, phiB = b.lat * degToRad;
    return HalfAngles{trig::sinCos((phiB - phiA) / 2), trig::sinCos((phiB + phiA) / 2),
                      trig::sinCos((b.lon - a.lon) * degToRad / 2)};
}

// Haversine with both h = sin^2(c/2) and 1 - h (c the central angle) written as sums of squares:
// sin^2(dPhi/2) cos^2(dLambda/2) + cos^2(mPhi) sin^2(dLambda/2) and
// cos^2(dPhi/2) cos^2(dLambda/2) + sin^2(mPhi) sin^2(dLambda/2), mPhi the mean latitude. Neither
// is found by subtraction, so near the antipode, where 1 - h is tiny, it is still exact to a few
// ulp, and neither can leave [0, 1] to make a square root NaN.
double distanceFrom(const HalfAngles& w)
{
    const double sinSq = w.halfDLambda.sin * w.halfDLambda.sin, cosSq = w.halfDLambda.cos * w.halfDLambda.cos;
    const double h = w.halfDPhi.sin * w.halfDPhi.sin * cosSq + w.meanPhi.cos * w.meanPhi.cos * sinSq;
    const double rest = w.halfDPhi.cos * w.halfDPhi.cos * cosSq + w.meanPhi.sin * w.meanPhi.sin * sinSq;
    return trig::atan2(std::sqrt(h), std::sqrt(rest)) * earthDiameterNm;
}

// The usual atan2(sin dLambda cos phi2, sin phi2 cos phi1 - sin phi1 cos phi2 cos dLambda), halved
// and rewritten with phi1,2 = mPhi -+ dPhi/2 and cos dLambda = 1 - 2 sin^2(dLambda/2): the second
// argument becomes sin(dPhi/2) cos(dPhi/2) + sin^2(dLambda/2) sin phi1 cos phi2, which has no
// difference of nearly equal terms on a short leg.
double bearingFrom(const HalfAngles& w)
{
    const double ss = w.meanPhi.sin, cs = w.meanPhi.cos, sd = w.halfDPhi.sin, cd = w.halfDPhi.cos;
    const double sinPhi1 = ss * cd - cs * sd, cosPhi2 = cs * cd - ss * sd;
    const double sl = w.halfDLambda.sin, cl = w.halfDLambda.cos;
    double theta = trig::atan2(sl * cl * cosPhi2, sd * cd + sl * sl * sinPhi1 * cosPhi2);
    if (theta < 0) theta += twoPi;
    // A tiny negative angle plus 2 pi rounds to exactly 2 pi, which is north again.
    if (theta >= twoPi) theta = 0.0;
    return theta;
}

} // namespace

double distanceNm(const LatLon& a, const LatLon& b) { return distanceFrom(halfAngles(a, b)); }

double initialBearing(const LatLon& from, const LatLon& to) { return bearingFrom(halfAngles(from, to)); }

Leg legBetween(const LatLon& from, const LatLon& to)
{
    const HalfAngles w = halfAngles(from, to);
    return Leg{distanceFrom(w), bearingFrom(w)};
}

LatLon destinationPoint(const LatLon& start, double bearing, double distanceFeet)
{
    const trig::SinCos delta = trig::sinCos(distanceFeet * radiansPerFoot);
    const trig::SinCos phi1 = trig::sinCos(start.lat * degToRad), theta = trig::sinCos(bearing);
    const double lambda1 = start.lon * degToRad;
    // At a pole rounding can give a sine just above 1, whose asin is NaN.
    const double sinPhi2 = std::clamp(phi1.sin * delta.cos + phi1.cos * delta.sin * theta.cos, -1.0, 1.0);
    const double phi2 = std::asin(sinPhi2);
    const double d = trig::atan2(theta.sin * delta.sin * phi1.cos, delta.cos - phi1.sin * sinPhi2);
    const double lambda2 = std::remainder(lambda1 + d, twoPi);
    return {phi2 * radToDeg, lambda2 * radToDeg};
}

double wrapLonDeg(double lonDeg)
{
    // Nearly every longitude is in range already; std::fmod is slow in this C library.
    if (lonDeg >= -180.0 && lonDeg <= 180.0) return lonDeg;
    double w = std::fmod(lonDeg, 360.0);
    if (w > 180.0) w -= 360.0;
    if (w < -180.0) w += 360.0;
    return w;
}

double wrapPi(double angle)
{
    // Nearly every angle is in range already; std::fmod is slow in this C library.
    if (angle >= -std::numbers::pi && angle <= std::numbers::pi) return angle;
    angle = std::fmod(angle, twoPi);
    if (angle > std::numbers::pi) angle -= twoPi;
    if (angle < -std::numbers::pi) angle += twoPi;
    return angle;
}

double lonDifferenceDeg(double fromLonDeg, double toLonDeg) { return wrapLonDeg(toLonDeg - fromLonDeg); }

double midLonDeg(double aLonDeg, double bLonDeg)
{
    return wrapLonDeg(aLonDeg + lonDifferenceDeg(aLonDeg, bLonDeg) / 2);
}

} // namespace qtr
