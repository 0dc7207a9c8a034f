#include "CGeoMath.h"

#include <cmath>

void CGeoMath::move(double *latRad, double *lonRad, double bearingRad, double distanceM)
{
    const double delta = distanceM / EarthRadiusM;
    const double sinLat = std::sin(*latRad);
    const double cosLat = std::cos(*latRad);
    const double lat2 = std::asin(sinLat * std::cos(delta) + cosLat * std::sin(delta) * std::cos(bearingRad));
    const double lon2 = *lonRad + std::atan2(std::sin(bearingRad) * std::sin(delta) * cosLat,
                                             std::cos(delta) - sinLat * std::sin(lat2));
    *latRad = lat2;
    *lonRad = wrap(lon2);
}

double CGeoMath::normalize(double rad)
{
    double a = std::fmod(rad, TwoPi);
    if (a < 0.0)
        a += TwoPi;
    return a >= TwoPi ? 0.0 : a;
}

double CGeoMath::wrap(double rad)
{
    const double a = normalize(rad);
    return a > Pi ? a - TwoPi : a;
}
