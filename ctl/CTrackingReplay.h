#ifndef CTRACKINGREPLAY_H
#define CTRACKINGREPLAY_H

#include "CTruthTrack.h"
#include "logbook/CTracking.h"

#include <QString>
#include <QVector>

// The daemon's tracking decision run offline over a drive: every fix the
// receiver reported goes through CTracking's prepare, decide and commit as
// the daemon's fix evaluation calls them, with the drive's GPS time as the
// clock; what it decides to store is the track the logbook would hold.
class CTrackingReplay
{
public:
    struct Setup {
        QString name; // "time 30 s", "distance 500 m", "speed 50 km/h / 10 s"
        STrackingValues values;
    };

    // The interval of the speed-level setups when none is given.
    static constexpr int kDefaultSpeedIntervalS = 10;

    // time 10/30/60 s, distance 100/500/1000 m, speed level 10/30/50 km/h.
    static QVector<Setup> defaultSetups();
    // "time:SECONDS", "distance:METRES", "speed:KMH" or "speed:KMH/SECONDS".
    static bool parseSetup(const QString &text, Setup *setup);

    // Indices into truth.epochs() of the fixes stored as track points.
    static QVector<int> run(const CTruthTrack &truth, const STrackingValues &values);
};

#endif // CTRACKINGREPLAY_H
