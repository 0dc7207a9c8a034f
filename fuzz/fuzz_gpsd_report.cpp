// gpsd's JSON lines through the daemon's adapter (CGpsdClient::unpack, the
// libgps parser behind it), or report structures with any values at all
// (inputs that start with a zero byte, which no JSON line does), and the
// reports through the
// pure helpers the daemon's fix evaluation calls, in the order it calls them
// (app/CGpsProg.cpp, evaluateReport and SaveGPSData): GPS time with the
// rollover correction, zone time, time offset, the record setters, the
// tracking decision and the records that carry the fix. The evaluation
// itself needs a bus and is exercised by the system tests.

#include "CFuzzEnvironment.h"
#include "CFuzzInput.h"

#include "app/CGpsTime.h"
#include "app/CGpsdClient.h"
#include "logbook/CLogTracking.h"
#include "logbook/CTracking.h"
#include "logbook/ELogSubType.h"
#include "logging/CLogStream.h"
#include "records/CRuntimeGps.h"

#include <QList>

#include <cmath>

namespace
{
constexpr int kMaxLines = 32;
constexpr uint8_t kRawReports = 0;
constexpr int kMaxRawReports = 16;
constexpr size_t kMaxTextBytes = 64;
constexpr int kMaxSatellites = 99;
constexpr double kMpsToKmh = 3.6;
// A fixed "now" keeps every run of an input the same: 2026-03-02 06:00 UTC.
constexpr qint64 kNowSecs = 1772431200;
constexpr quint64 kCompleteFix = SGpsReport::LATLON_SET | SGpsReport::ALTITUDE_SET | SGpsReport::SPEED_SET |
                                 SGpsReport::TIME_SET | SGpsReport::DOP_SET;

// The daemon's state between reports, as far as the pure helpers see it.
struct Evaluation {
    CRuntimeGps current;
    CTracking tracking;
    quint64 fixMask = 0;
    int fixMode = 0;
    quint8 lastValid = 0;
    time_t gpsTime = 0;
    int fixes = 0;
};

void checkReport(bool parsed, const SGpsReport &r)
{
    if (!parsed) {
        // Documented: a refused line gives an empty report.
        FUZZ_CHECK(r.set == 0 && r.mode == 0 && std::isnan(r.latitude) && r.driver.isEmpty());
        return;
    }
    FUZZ_CHECK(r.set & SGpsReport::PACKET_SET);
    if (r.set & SGpsReport::ALTITUDE_SET)
        FUZZ_CHECK(std::isfinite(r.altitude));
}

void publish(const CRuntimeGps &fix)
{
    CRuntimeGps record = fix;
    CRuntimeGps received;
    FUZZ_CHECK(received.parse(record.serialize()).ok());
    CGpsPoint point = fix.gpsPoint();
    CRecordStatus status;
    const CGpsPoint back(point.toBytes(), &status);
    FUZZ_CHECK(status.ok());
}

void store(const CRuntimeGps &fix)
{
    CLogTracking entry;
    entry.iSubType = GPS_Data;
    entry.oGpsPoint = fix.gpsPoint();
    CRecordStatus status;
    const CLogTracking back(entry.serialize(), &status);
    FUZZ_CHECK(status.ok());
}

void completeFix(Evaluation &e, const STrackingValues &values)
{
    e.current.setDateTime(e.gpsTime > 0 ? CGpsTime::gpsDateTime(e.gpsTime) : CDateTime());
    const double diff = difftime(e.gpsTime, time_t(kNowSecs));
    if (CGpsTime::needsSync(diff))
        FUZZ_CHECK(!CGpsTime::syncPayload(CGpsTime::gpsDateTime(e.gpsTime)).isEmpty());

    CRuntimeGps fix = e.current;
    e.tracking.prepare(fix, e.fixMode, e.lastValid, values);
    publish(fix);
    if (e.tracking.decide(fix, values)) {
        store(fix);
        e.tracking.commit(fix, values, e.fixMode);
    }
    e.fixMask = 0;
    ++e.fixes;
}

void evaluate(const SGpsReport &r, Evaluation &e, const STrackingValues &values)
{
    const quint64 m = r.set;
    if (m & SGpsReport::TIME_SET) {
        time_t t = CGpsTime::gpsSeconds(r.fixTime);
        if (CGpsTime::IsFaultiyYear(t))
            t = CGpsTime::AddDays(t, CGpsTime::kRolloverDays);
        e.gpsTime = t;
        CLogStream(QtDebugMsg, "fuzz", 1) << CDateTime::fromTimeT(e.gpsTime);
        const CDateTime zoneTime = CGpsTime::ConvertToZoneTime(
            CDateTime::fromTimeT(e.gpsTime), QString::fromLatin1(CFuzzEnvironment::kTimeZone), true);
        e.current.setTimeOffset(qint32(CGpsTime::timeOffsetSecs(zoneTime, kNowSecs * 1000)));
        e.current.setDateTime(zoneTime);
        e.fixMask |= SGpsReport::TIME_SET;
    }
    if (m & SGpsReport::DEVICE_SET)
        CLogStream(QtWarningMsg, "fuzz", 2)
            << r.driver.toUtf8().constData() << r.subtype.toUtf8().constData();
    if ((m & SGpsReport::DEVICELIST_SET) && r.deviceCount > 0)
        CLogStream(QtWarningMsg, "fuzz", 3)
            << r.deviceCount << r.devicePath.toUtf8().constData() << r.deviceDriver.toUtf8().constData()
            << r.deviceSubtype.toUtf8().constData();
    if (m & SGpsReport::LATLON_SET) {
        e.fixMask |= SGpsReport::LATLON_SET;
        e.current.setLatitude(r.latitude);
        e.current.setLongitude(r.longitude);
        e.fixMode = r.mode;
        CLogStream(QtDebugMsg, "fuzz", 4) << r.latitude << "/" << r.longitude;
    }
    if (r.satellitesUsed > 0) {
        e.fixMask |= SGpsReport::DOP_SET;
        e.current.setSatellites(r.satellitesUsed <= kMaxSatellites ? r.satellitesUsed : 0);
        e.current.setHdop(r.hdop);
        CLogStream(QtDebugMsg, "fuzz", 5) << r.satellitesUsed << "/" << r.hdop;
    }
    if (m & SGpsReport::ALTITUDE_SET) {
        e.fixMask |= SGpsReport::ALTITUDE_SET;
        e.current.setAltitude(r.altitude);
        CLogStream(QtDebugMsg, "fuzz", 6) << r.altitude << "/" << r.separation;
    }
    if (m & SGpsReport::SPEED_SET) {
        e.fixMask |= SGpsReport::SPEED_SET;
        const double kmh = r.speed * kMpsToKmh;
        e.current.setSpeed(kmh);
        e.current.setTrack(r.track);
        CLogStream(QtDebugMsg, "fuzz", 7) << r.speed << kmh;
    }
    if ((e.fixMask & kCompleteFix) == kCompleteFix)
        completeFix(e, values);
}
// One report as the adapter hands it on, every field from the input.
SGpsReport rawReport(CFuzzInput &in)
{
    SGpsReport r;
    r.set = in.value<quint64>();
    r.fixTime = in.value<double>();
    r.mode = in.value<qint32>();
    r.latitude = in.value<double>();
    r.longitude = in.value<double>();
    r.altitude = in.value<double>();
    r.separation = in.value<double>();
    r.track = in.value<double>();
    r.speed = in.value<double>();
    r.satellitesUsed = in.value<qint32>();
    r.hdop = in.value<double>();
    r.deviceCount = in.value<qint32>();
    r.driver = QString::fromLatin1(in.bytes(kMaxTextBytes));
    r.subtype = QString::fromLatin1(in.bytes(kMaxTextBytes));
    r.devicePath = QString::fromLatin1(in.bytes(kMaxTextBytes));
    r.deviceDriver = QString::fromLatin1(in.bytes(kMaxTextBytes));
    r.deviceSubtype = QString::fromLatin1(in.bytes(kMaxTextBytes));
    return r;
}

void evaluateRawReports(CFuzzInput &in)
{
    STrackingValues values;
    values.eTrackingStatus = in.value<qint32>();
    values.iInterval = in.value<qint32>();
    values.distance = in.value<qint32>();
    values.SpeedLevel = in.value<qint32>();
    Evaluation e;
    e.tracking.setClock([] { return CDateTime::fromTimeT(kNowSecs); });
    for (int i = 0; i < kMaxRawReports && in.remaining() > 0; ++i)
        evaluate(rawReport(in), e, values);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    CFuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0 && data[0] == kRawReports) {
        CFuzzInput in(data + 1, size - 1);
        evaluateRawReports(in);
        return 0;
    }
    const QByteArray input = CFuzzEnvironment::toByteArray(data, size);

    // The whole input as one line: embedded line ends and NULs included.
    SGpsReport whole;
    checkReport(CGpsdClient::unpack(input, whole), whole);

    Evaluation e;
    e.tracking.setClock([] { return CDateTime::fromTimeT(kNowSecs); });
    const QList<QByteArray> lines = input.split('\n');
    for (int i = 0; i < lines.size() && i < kMaxLines; ++i) {
        SGpsReport report;
        const bool parsed = CGpsdClient::unpack(lines.at(i), report);
        checkReport(parsed, report);
        if (!parsed)
            continue;
        // Every tracking mode in turn, with limits that let most fixes through.
        STrackingValues values;
        values.eTrackingStatus = CTracking::kByTime + i % 3;
        values.iInterval = 1;
        values.distance = 10;
        values.SpeedLevel = 5;
        evaluate(report, e, values);
    }
    return 0;
}
