#ifndef CSKYMODEL_H
#define CSKYMODEL_H

#include "CDriveRoute.h"
#include "CReceiverProfile.h"

#include <QVector>
#include <QtGlobal>

// The satellites a truck's receiver sees: a GPS-like constellation (six
// orbital planes at 55 degrees, twelve-hour orbits) over the depot, and for
// a multi-system receiver GLONASS-, Galileo- and BeiDou-like ones (three
// planes of eight each, with their own heights and inclinations), with
// buildings that hide low satellites across the street in town and behind
// the depot hall. The satellites in use give the dilution of precision by
// the usual least-squares geometry, so HDOP rises when the sky closes in.
class CSkyModel
{
public:
    static const int MaxUsed = 12; // per system: what one GSA sentence can list

    struct Satellite {
        int prn = 0; // as the sentences number it within its system
        CReceiverProfile::ESystem system = CReceiverProfile::Gps;
        int elevationDeg = 0;
        int azimuthDeg = 0; // 0..359
        int snr = 0;        // dB-Hz; 0 = in view but not tracked
        int snr2 = 0;       // on the second band; 0 = not tracked there
        bool used = false;
    };

    struct Sky {
        QVector<Satellite> inView; // ordered by system, then PRN
        int usedCount = 0;
        double hdop = 0.0;
        double vdop = 0.0;
        double pdop = 0.0;
    };

    // The orbits of one satellite system (defined with the model's table).
    struct Constellation;

    // systems: 1 << CReceiverProfile::ESystem for each constellation in the sky.
    CSkyModel(double latDeg, double lonDeg, quint64 seed, int systems = 1 << CReceiverProfile::Gps);

    // Sky at timeMs after the start of the round, seen by a truck heading
    // that way in that phase of the round.
    Sky at(qint64 timeMs, double headingRad, CDriveRoute::EPhase phase) const;

private:
    struct Orbit {
        const Constellation *constellation;
        int prn;
        double ascendingNodeRad;
        double phaseRad;
    };

    void addConstellation(const Constellation &constellation);

    bool blocked(double elevationDeg, double azimuthDeg, double headingRad, CDriveRoute::EPhase phase) const;
    static bool dilution(const QVector<Satellite> &used, double *hdop, double *vdop, double *pdop);

    double m_latRad;
    double m_lonRad;
    quint64 m_seed;
    QVector<Orbit> m_orbits;
};

#endif // CSKYMODEL_H
