#ifndef CTRACKING_H
#define CTRACKING_H

#include "records/CDateTime.h"

#include <QtGlobal>

#include <functional>
#include <utility>

class CRuntimeGps;

// Tracking values of the tracking setup, as the decision reads them.
struct STrackingValues {
    qint32 eTrackingStatus = 0; // 2 by time, 3 by distance, 4 by speed level, else off
    qint32 iInterval = 0;       // seconds
    qint32 distance = 0;        // metres
    qint32 SpeedLevel = 0;      // km/h
    qint32 iExtra = 0;          // carried along, not interpreted
};

// Whether a complete fix becomes a track point, and the state that decision
// keeps between fixes. One fix runs prepare(), then (after the caller has
// published it) decide(), and, when that says store, commit() after the
// caller has uploaded the point. The caller's own state changes only through
// what these return.
class CTracking
{
public:
    // Track modes of eTrackingStatus.
    static constexpr qint32 kByTime = 2;
    static constexpr qint32 kByDistance = 3;
    static constexpr qint32 kBySpeedLevel = 4;
    // Stands in for an HDOP the receiver could not give.
    static constexpr double kUnknownHdop = 1000.0;

    using Clock = std::function<CDateTime()>;

    CTracking();

    // Great-circle distance in metres between two positions in degrees
    // (haversine on a sphere of the WGS84 equatorial radius). NaN in, NaN out.
    static double distanceMetres(double latitude1, double longitude1, double latitude2, double longitude2);
    // HDOP rounded to a whole number, halves away from zero; kUnknownHdop if not finite.
    static double roundedHdop(double hdop);
    // Whole seconds from 'from' to 'to', both taken in UTC: whole days times
    // 86400 plus the time-of-day difference in milliseconds / 1000,
    // truncated. Negative when the clock went back.
    static qint64 secondsBetween(const CDateTime &from, const CDateTime &to);

    // What prepare() found out about a fix.
    struct SPrepared {
        bool positionFix = false; // a 2D or 3D fix was taken (the last-valid state becomes 2)
        bool hdopUnknown = false; // its HDOP was not finite (the fix mode copy drops to 1)
    };

    // Readies a complete fix: takes 'now', arms the tracking clock on the
    // first call and, when fixModeCopy says 2D or 3D, rounds the HDOP
    // (through the record's setter) and seeds the anchor. Logs the fix.
    SPrepared prepare(CRuntimeGps &fix, int fixModeCopy, const STrackingValues &values);
    // True when the fix is due as a track point under values. Logs the inputs.
    bool decide(const CRuntimeGps &fix, const STrackingValues &values) const;
    // Records a stored track point: the above-level mark, the tracking clock
    // (the 'now' of prepare), the anchor. The caller's fix mode copy drops to 1.
    void commit(const CRuntimeGps &fix, const STrackingValues &values);

    // Local "now"; tests replace it.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    bool firstPass() const { return m_firstPass; }
    CDateTime trackingClock() const { return m_trackingClock; }
    double anchorLatitude() const { return m_anchorLatitude; }
    double anchorLongitude() const { return m_anchorLongitude; }
    bool aboveLevel() const { return m_aboveLevel; }

private:
    Clock m_clock;
    CDateTime m_now; // taken by prepare(), used by commit()
    bool m_firstPass = true;
    CDateTime m_trackingClock; // time of the last stored point
    // Position of the last stored point; a component of 0.0 counts as unset.
    double m_anchorLatitude = 0.0;
    double m_anchorLongitude = 0.0;
    bool m_aboveLevel = false; // the last stored point was at or above SpeedLevel
};

#endif // CTRACKING_H
