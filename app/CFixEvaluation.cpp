#include "CFixEvaluation.h"

#include "CGpsTime.h"
#include "logbook/ELogSubType.h"
#include "logging/CLogStream.h"

#include <QDateTime>

namespace
{
const char kSource[] = "cgpsprog";

// Reports without a position for longer than this publish the fallback.
constexpr time_t kPositionTimeoutSec = 10;
constexpr double kMpsToKmh = 3.6;
constexpr int kMaxSatellites = 40;
constexpr quint64 kCompleteFix = SGpsReport::LATLON_SET | SGpsReport::ALTITUDE_SET | SGpsReport::SPEED_SET |
                                 SGpsReport::TIME_SET | SGpsReport::DOP_SET;

CLogStream logD(int line)
{
    return CLogStream(QtDebugMsg, kSource, line);
}

CLogStream logW(int line)
{
    return CLogStream(QtWarningMsg, kSource, line);
}
} // namespace

CFixEvaluation::CFixEvaluation(Sink &sink) : m_sink(sink), m_clock(&QDateTime::currentMSecsSinceEpoch)
{
    m_lastPositionTime = nowSecs();
    m_gpsTime = nowSecs();
}

void CFixEvaluation::setClock(Clock clock)
{
    m_clock = std::move(clock);
    m_tracking.setClock([this] { return CDateTime::fromMSecsSinceEpoch(m_clock()); });
    m_lastPositionTime = nowSecs();
    m_gpsTime = nowSecs();
}

int CFixEvaluation::evaluate(const SGpsReport &report)
{
    const quint64 m = report.set;
    const bool positionTimedOut = nowSecs() - m_lastPositionTime > kPositionTimeoutSec;

    if (!(m & SGpsReport::PACKET_SET)) {
        if (positionTimedOut) {
            if (m_lastValid == LastValid::TimedOut) {
                logW(686) << "Send / store last valid GPS data after timeout for valid GPS data (No view to "
                             "sat's). "
                             "PACKET_SET flag was not set";
                m_fixMode = 1;
                SendRuntimeGps(m_current);
            }
            m_lastValid = LastValid::TimedOut;
        }
        // Reconnect on the next tick; this report's values are still used.
        m_disconnected = true;
        m_sink.dropConnection();
    } else if (m == SGpsReport::PACKET_SET) {
        if (positionTimedOut) {
            if (m_lastValid == LastValid::FixTaken) {
                logW(709) << "Send / store last valid GPS data after timeout for valid GPS data (No view to "
                             "sat's). "
                             "Only PACKET_SET was set";
                if (m_connection == Connection::Flowing) {
                    m_sink.logEvent(GPS_NoData);
                    m_current.setSatellites(0);
                    m_current.setSpeed(0.0);
                    m_current.setLatitude(0.0);
                    m_current.setLongitude(0.0);
                    m_current.setAltitude(0.0);
                }
                setConnection(Connection::NoData);
                SendRuntimeGps(m_current);
            }
            m_lastValid = LastValid::TimedOut;
        }
        return 1;
    }

    if ((m & SGpsReport::STATUS_SET) && m_disconnected) {
        m_disconnected = false;
        if (m_connection == Connection::NoData)
            m_sink.logEvent(GPS_ValidData);
        setConnection(Connection::Flowing);
        logD(739) << "GPS is connected";
    }

    if (m & SGpsReport::TIME_SET) {
        time_t t = CGpsTime::gpsSeconds(report.fixTime);
        if (CGpsTime::IsFaultiyYear(t)) {
            t = CGpsTime::AddDays(t, CGpsTime::kRolloverDays);
            m_gpsTime = t;
            logD(748) << "GPSTimestamp (IsFaultiyYear(&t) == true" << CDateTime::fromTimeT(m_gpsTime);
        } else {
            m_gpsTime = t;
            logD(753) << "GPSTimestamp  (IsFaultiyYear(&t) == false" << CDateTime::fromTimeT(m_gpsTime);
        }
        const CDateTime zoneTime = CGpsTime::ConvertToZoneTime(
            CDateTime::fromTimeT(m_gpsTime), m_generalSetup.timeZone(), m_generalSetup.daylightSaving());
        m_current.setTimeOffset(CGpsTime::timeOffsetSecs(zoneTime, m_clock()));
        m_current.setDateTime(zoneTime);
        m_fixMask |= SGpsReport::TIME_SET;
    }

    if (m & SGpsReport::DEVICE_SET) {
        const QByteArray driver = report.driver.toUtf8();
        const QByteArray subtype = report.subtype.toUtf8();
        logW(765) << "DEVICE_SET  " << driver.constData() << " " << subtype.constData();
    }

    if ((m & SGpsReport::DEVICELIST_SET) && report.deviceCount > 0) {
        const QByteArray path = report.devicePath.toUtf8();
        const QByteArray driver = report.deviceDriver.toUtf8();
        const QByteArray subtype = report.deviceSubtype.toUtf8();
        logW(772) << "DEVICELIST: devices: " << report.deviceCount;
        logW(773) << "DEVICELIST: path= " << path.constData();
        logW(774) << "DEVICELIST: driver= " << driver.constData();
        logW(775) << "DEVICELIST: subtype= " << subtype.constData();
    }

    if (m & SGpsReport::DEVICEID_SET)
        logW(786) << "DEVICEID_SET";

    if (m & SGpsReport::LATLON_SET) {
        m_fixMask |= SGpsReport::LATLON_SET;
        m_lastPositionTime = nowSecs();
        m_current.setLatitude(report.latitude);
        m_current.setLongitude(report.longitude);
        m_fixMode = report.mode;
        logD(800) << "LATLON_SET: lat/lon: " << report.latitude << "/" << report.longitude;
    }

    // Satellites come with every report that carries a count, not only with DOP reports.
    if (report.satellitesUsed > 0) {
        const int satellites = report.satellitesUsed <= kMaxSatellites ? report.satellitesUsed : 0;
        m_fixMask |= SGpsReport::DOP_SET;
        m_current.setSatellites(satellites);
        m_current.setHdop(report.hdop);
        CLogStream(QtDebugMsg, kSource, 815, CLogStream::NoColon{})
            << ": DOP: satellites / hdop : " << report.satellitesUsed << "/" << report.hdop;
    }

    if (m & SGpsReport::ALTITUDE_SET) {
        m_fixMask |= SGpsReport::ALTITUDE_SET;
        m_current.setAltitude(report.altitude);
        logD(823) << "ALTITUDE_SET: altitude/separation: " << report.altitude << "/" << report.separation;
    }

    if (m & SGpsReport::SPEED_SET) {
        m_fixMask |= SGpsReport::SPEED_SET;
        const double kmh = report.speed * kMpsToKmh;
        m_current.setSpeed(kmh);
        m_current.setTrack(report.track);
        logD(835) << "SPEED_SET: speed(GPSD m/s)): " << report.speed << " speed (km/h): " << kmh;
    }

    if ((m_fixMask & kCompleteFix) == kCompleteFix) {
        m_current.setDateTime(CheckGpsTime(m_gpsTime));
        SaveGPSData(m_current);
        setConnection(Connection::Flowing);
        m_fixMask = 0;
    }
    return 1;
}

void CFixEvaluation::receiverLost(int retries)
{
    if (m_connection == Connection::Flowing)
        m_sink.logEvent(GPS_NoData);
    setConnection(Connection::NoData);
    SendEmptyGpsData();
    if (m_lastValid == LastValid::TimedOut)
        logW(637) << "Send / store last valid GPS data after max. retry (GPS Receiver disconnected)";
    m_lastValid = LastValid::None;
    logW(640) << "No data from GPSD after " << retries << " retry";
    m_disconnected = true;
    m_sink.dropConnection();
}

void CFixEvaluation::readFailed()
{
    if (m_connection == Connection::Flowing)
        m_sink.logEvent(GPS_NoData);
    setConnection(Connection::NoData);
    SendEmptyGpsData();
    m_disconnected = true;
}

CDateTime CFixEvaluation::CheckGpsTime(time_t gpsTime)
{
    if (gpsTime <= 0)
        return CDateTime();
    const CDateTime result = CGpsTime::gpsDateTime(gpsTime);
    if (!m_timeSync)
        return result;
    const double diff = difftime(gpsTime, nowSecs());
    if (CGpsTime::needsSync(diff)) {
        logW(451) << "Difference between gps time and local time is " << diff << " sec. ";
        m_sink.requestTimeSync(result);
    }
    return result;
}

// The fix is the caller's copy: rounding its HDOP must not reach the point
// still being collected.
void CFixEvaluation::SaveGPSData(CRuntimeGps fix)
{
    const CTracking::SPrepared prepared = m_tracking.prepare(fix, m_fixMode, m_trackingValues);
    if (prepared.hdopUnknown)
        m_fixMode = 1;
    if (prepared.positionFix)
        m_lastValid = LastValid::FixTaken;
    SendRuntimeGps(fix);
    if (!m_tracking.decide(fix, m_trackingValues))
        return;
    m_sink.storeTrackPoint(pointOf(fix));
    m_fixMode = 1;
    m_tracking.commit(fix, m_trackingValues);
}

CGpsPoint CFixEvaluation::pointOf(const CRuntimeGps &record) const
{
    CGpsPoint point(record.gpsPoint());
    point.status = qint32(m_connection);
    return point;
}

void CFixEvaluation::SendRuntimeGps(const CRuntimeGps &record)
{
    const CGpsPoint &p = m_publishedPoint;
    // Exact comparison on purpose: a NaN always counts as a change.
    const bool changed = qint32(m_connection) != p.status || record.timeOffset() != p.timeOffset ||
                         record.latitude() != p.latitude || record.longitude() != p.longitude ||
                         record.altitude() != p.altitude || record.satellites() != p.satellites ||
                         record.hdop() != p.hdop || record.speed() != p.speed || record.track() != p.track ||
                         record.RuntimeGpsValue1() != m_published.RuntimeGpsValue1() ||
                         record.RuntimeGpsText1() != m_published.RuntimeGpsText1();
    if (!changed)
        return;

    // Swapped in, not assigned: the published values stay exactly as
    // compared, NaN included, while the record's copy of them loses NaN.
    CGpsPoint next = pointOf(record);
    m_publishedPoint.swap(next);
    m_published.setRuntimeGpsValue1(record.RuntimeGpsValue1());
    m_published.setRuntimeGpsText1(record.RuntimeGpsText1());
    m_published.setGpsPoint(m_publishedPoint);
    m_sink.publish(m_published.serialize(), m_publishedPoint);
}

void CFixEvaluation::SendEmptyGpsData()
{
    m_current.setSatellites(0);
    m_current.setSpeed(0.0);
    m_current.setLatitude(0.0);
    m_current.setLongitude(0.0);
    m_current.setAltitude(0.0);
    m_current.setStatus(0);
    m_current.setTimeOffset(0);
    m_current.setHdop(0.0);
    m_current.setTrack(0.0);
    SendRuntimeGps(m_current);
}
