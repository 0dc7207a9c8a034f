#ifndef CDRIVESIMULATOR_H
#define CDRIVESIMULATOR_H

#include "CDriveRoute.h"
#include "CRandom.h"

#include <QtGlobal>

// Drives a truck along a round in fixed 100 ms steps: a driver who keeps a
// little under the limit with some wander, brakes ahead of corners, lower
// limits and stops, and accelerates as a loaded truck does. The position is
// integrated from speed and heading on the sphere. The steps do not depend
// on the output rate, so 1, 5 and 10 Hz drives share one trajectory.
class CDriveSimulator
{
public:
    static const int StepMs = 100;

    struct State {
        qint64 timeMs = 0; // since the start of the round
        double latDeg = 0.0;
        double lonDeg = 0.0;
        double altitudeM = 0.0; // above mean sea level
        double speedMps = 0.0;
        double headingRad = 0.0; // direction of travel; kept while standing
        CDriveRoute::EPhase phase = CDriveRoute::Depot;
    };

    CDriveSimulator(const CDriveRoute &route, quint64 seed);

    const State &state() const { return m_state; }
    // True once the truck has stood its time at the depot after the return.
    bool finished() const { return m_finished; }
    void step();

private:
    double allowedSpeed() const;
    double terrainAltitude() const;

    CDriveRoute m_route;
    CRandom m_random;
    State m_state;
    double m_s = 0.0; // path length driven, m
    double m_latRad = 0.0;
    double m_lonRad = 0.0;
    int m_piece = 0;
    int m_nextStop = 0;
    bool m_standing = false;
    qint64 m_standLeftMs = 0;
    bool m_finished = false;
    double m_cruise = 0.0;        // driver's wander, share of the limit
    double m_altitudeNoise = 0.0; // m
};

#endif // CDRIVESIMULATOR_H
