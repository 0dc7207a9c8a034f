#ifndef CGEOMATH_H
#define CGEOMATH_H

// Motion on the sphere. The radius is the one the daemon measures track
// distances with, so distances between generated points agree with the
// daemon's haversine to rounding.
class CGeoMath
{
public:
    static constexpr double EarthRadiusM = 6378137.0;
    static constexpr double DegToRad = 0.017453292519943295;
    static constexpr double Pi = 3.141592653589793;
    static constexpr double TwoPi = 6.283185307179586;

    // Moves (latitude, longitude) in radians by distance along the great
    // circle that leaves with the given bearing (radians from north, clockwise).
    static void move(double *latRad, double *lonRad, double bearingRad, double distanceM);
    // Angle in [0, 2 pi).
    static double normalize(double rad);
    // Angle in (-pi, pi].
    static double wrap(double rad);
};

#endif // CGEOMATH_H
