#ifndef CTRACKFIDELITY_H
#define CTRACKFIDELITY_H

#include <QVector>

// How far the true route strays from a stored track: for every true
// position, its distance to the stored polyline (the nearest point on any
// of its segments), summed up as the maximum and the 95th percentile. The
// distance to a segment is measured in a local equirectangular projection
// around the true position (east = longitude difference times the cosine
// of its latitude), which is exact to well under a metre over the few
// kilometres between stored points.
class CTrackFidelity
{
public:
    struct Position {
        double latitude = 0.0; // degrees
        double longitude = 0.0;
    };
    struct Summary {
        int positions = 0;
        double maxMetres = 0.0; // NaN when the track is empty
        double p95Metres = 0.0;
    };

    // Metres from position to the polyline through track; to its only point
    // for one point; NaN for none.
    static double distanceToTrack(const Position &position, const QVector<Position> &track);
    static Summary measure(const QVector<Position> &truth, const QVector<Position> &track);
    // Positions every stepMetres along the route through truth, its first
    // and last included, so that standing still does not weigh and a
    // percentile reads as a share of the route's length.
    static QVector<Position> alongRoute(const QVector<Position> &truth, double stepMetres);
    // The value below which share of the values lie, by nearest rank
    // (the ceil(share * n)-th smallest); NaN for no values.
    static double percentile(QVector<double> values, double share);
};

#endif // CTRACKFIDELITY_H
