#ifndef CSKYMODEL_H
#define CSKYMODEL_H

#include "CDriveRoute.h"

#include <QVector>
#include <QtGlobal>

// The satellites a truck's receiver sees: a GPS-like constellation (six
// orbital planes at 55 degrees, twelve-hour orbits) over the depot, with
// buildings that hide low satellites across the street in town and behind
// the depot hall. The satellites in use give the dilution of precision by
// the usual least-squares geometry, so HDOP rises when the sky closes in.
class CSkyModel
{
public:
    static const int MaxUsed = 12; // what one GSA sentence can list

    struct Satellite {
        int prn = 0;
        int elevationDeg = 0;
        int azimuthDeg = 0; // 0..359
        int snr = 0;        // dB-Hz; 0 = in view but not tracked
        bool used = false;
    };

    struct Sky {
        QVector<Satellite> inView; // ordered by PRN
        int usedCount = 0;
        double hdop = 0.0;
        double vdop = 0.0;
        double pdop = 0.0;
    };

    CSkyModel(double latDeg, double lonDeg, quint64 seed);

    // Sky at timeMs after the start of the round, seen by a truck heading
    // that way in that phase of the round.
    Sky at(qint64 timeMs, double headingRad, CDriveRoute::EPhase phase) const;

private:
    struct Orbit {
        int prn;
        double ascendingNodeRad;
        double phaseRad;
    };

    bool blocked(double elevationDeg, double azimuthDeg, double headingRad, CDriveRoute::EPhase phase) const;
    static bool dilution(const QVector<Satellite> &used, double *hdop, double *vdop, double *pdop);

    double m_latRad;
    double m_lonRad;
    quint64 m_seed;
    QVector<Orbit> m_orbits;
};

#endif // CSKYMODEL_H
