#include "foundation/geometry.h"

#include <algorithm>
#include <cmath>

namespace qtr {

double distanceNm(const LatLon& a, const LatLon& b)
{
    const double phiA = a.lat * degToRad, phiB = b.lat * degToRad;
    const double s1 = std::sin((phiB - phiA) / 2);
    const double s2 = std::sin((b.lon - a.lon) * degToRad / 2);
    // Rounding can push h just outside [0, 1] for nearly antipodal points; sqrt(1 - h) would
    // then be NaN.
    const double h = std::clamp(std::cos(phiB) * std::cos(phiA) * s2 * s2 + s1 * s1, 0.0, 1.0);
    return std::atan2(std::sqrt(h), std::sqrt(1 - h)) * earthDiameterNm;
}

double initialBearing(const LatLon& from, const LatLon& to)
{
    const double phi1 = from.lat * degToRad, phi2 = to.lat * degToRad;
    const double dLambda = (to.lon - from.lon) * degToRad;
    const double y = std::sin(dLambda) * std::cos(phi2);
    const double x = std::sin(phi2) * std::cos(phi1) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda);
    double theta = std::atan2(y, x);
    if (theta < 0) theta += twoPi;
    // A tiny negative angle plus 2 pi rounds to exactly 2 pi, which is north again.
    if (theta >= twoPi) theta = 0.0;
    return theta;
}

LatLon destinationPoint(const LatLon& start, double bearing, double distanceFeet)
{
    const double delta = distanceFeet * radiansPerFoot;
    const double phi1 = start.lat * degToRad, lambda1 = start.lon * degToRad;
    // At a pole rounding can give a sine just above 1, whose asin is NaN.
    const double sinPhi2 =
        std::clamp(std::sin(phi1) * std::cos(delta) + std::cos(phi1) * std::sin(delta) * std::cos(bearing), -1.0, 1.0);
    const double phi2 = std::asin(sinPhi2);
    const double d = std::atan2(std::sin(bearing) * std::sin(delta) * std::cos(phi1),
                                std::cos(delta) - std::sin(phi1) * sinPhi2);
    const double lambda2 = std::remainder(lambda1 + d, twoPi);
    return {phi2 * radToDeg, lambda2 * radToDeg};
}

double wrapLonDeg(double lonDeg)
{
    double w = std::fmod(lonDeg, 360.0);
    if (w > 180.0) w -= 360.0;
    if (w < -180.0) w += 360.0;
    return w;
}

double lonDifferenceDeg(double fromLonDeg, double toLonDeg) { return wrapLonDeg(toLonDeg - fromLonDeg); }

double midLonDeg(double aLonDeg, double bLonDeg) { return wrapLonDeg(aLonDeg + lonDifferenceDeg(aLonDeg, bLonDeg) / 2); }

} // namespace qtr
