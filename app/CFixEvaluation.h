#ifndef CFIXEVALUATION_H
#define CFIXEVALUATION_H

#include "SGpsReport.h"
#include "logbook/CTracking.h"
#include "records/CDateTime.h"
#include "records/CGpsPoint.h"
#include "records/CRuntimeGps.h"
#include "records/CSetupGeneralNonWM.h"

#include <QByteArray>
#include <QtGlobal>

#include <ctime>
#include <functional>

// The GPS state of the daemon and everything it decides from gpsd's reports:
// collecting a fix, the fallbacks when positions stop, the time check,
// publishing only what changed, and the tracking decision. It makes no bus
// call and owns no timer: what must reach the outside goes through Sink, in
// the order it happens. CGpsProg owns one and drives it from its poll step.
class CFixEvaluation
{
public:
    // Fallback state after positions stopped coming.
    enum class LastValid : quint8 {
        None = 0,     // at start and after the receiver was declared lost
        TimedOut = 1, // the position time-out has been handled
        FixTaken = 2, // a 2D or 3D fix went through the tracking decision
    };
    // Whether GPS data flows; published as the point's status.
    enum class Connection : qint32 { NoData = 0, Flowing = 1 };

    // What the evaluation asks of the world, in call order.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // setRuntimeGps with record, then sigActualGpsData with point.
        virtual void publish(const QByteArray &record, const CGpsPoint &point) = 0;
        // A logbook event (GPS_ValidData, GPS_NoData).
        virtual void logEvent(int subType) = 0;
        // sigSyncTime with the GPS time.
        virtual void requestTimeSync(const CDateTime &gpsTime) = 0;
        // A track point for the logbook, followed by the transfer request.
        virtual void storeTrackPoint(const CGpsPoint &point) = 0;
        // Close gpsd's connection; the next tick opens a fresh one.
        virtual void dropConnection() = 0;
    };

    // System time in milliseconds since 1970; tests replace it.
    using Clock = std::function<qint64()>;

    explicit CFixEvaluation(Sink &sink);

    // One report read from gpsd. Always 1: a report was read.
    int evaluate(const SGpsReport &report);
    // gpsd stayed silent for 'retries' polls: the receiver counts as lost.
    void receiverLost(int retries);
    // Reading from gpsd failed; the caller has closed the connection.
    void readFailed();
    // Publishes the current point with every numeric value zero.
    void SendEmptyGpsData();

    void setClock(Clock clock);
    void setTimeSync(bool on) { m_timeSync = on; }
    bool timeSync() const { return m_timeSync; }
    void setTrackingValues(const STrackingValues &values) { m_trackingValues = values; }
    const STrackingValues &trackingValues() const { return m_trackingValues; }
    // The zone text and daylight-saving switch of the GPS time come from here.
    CSetupGeneralNonWM &generalSetup() { return m_generalSetup; }

    LastValid lastValid() const { return m_lastValid; }
    Connection connection() const { return m_connection; }
    int fixMode() const { return m_fixMode; }
    quint64 fixMask() const { return m_fixMask; }
    bool disconnected() const { return m_disconnected; }
    time_t gpsTime() const { return m_gpsTime; }
    const CRuntimeGps &current() const { return m_current; }
    const CGpsPoint &publishedPoint() const { return m_publishedPoint; }
    const CTracking &tracking() const { return m_tracking; }

private:
    void SaveGPSData(CRuntimeGps fix);
    void SendRuntimeGps(const CRuntimeGps &record);
    CDateTime CheckGpsTime(time_t gpsTime);
    // The point as published and stored: the fix with the connection state as status.
    CGpsPoint pointOf(const CRuntimeGps &record) const;
    void setConnection(Connection state) { m_connection = state; }
    time_t nowSecs() const { return time_t(m_clock() / 1000); }

    Sink &m_sink;
    Clock m_clock;

    bool m_timeSync = false;
    CSetupGeneralNonWM m_generalSetup;
    STrackingValues m_trackingValues; // nothing is stored until the first fetch says otherwise
    CTracking m_tracking;

    bool m_disconnected = true;
    LastValid m_lastValid = LastValid::None;
    Connection m_connection = Connection::NoData;
    int m_fixMode = 0;     // gpsd's mode of the last position report
    quint64 m_fixMask = 0; // kinds of values collected since the last complete fix
    time_t m_lastPositionTime = 0;
    time_t m_gpsTime = 0;
    CRuntimeGps m_current;   // the fix being collected
    CRuntimeGps m_published; // last record sent
    CGpsPoint m_publishedPoint;
};

#endif // CFIXEVALUATION_H
