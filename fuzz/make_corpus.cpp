// Writes the binary seed inputs of the fuzz targets: valid records and
// logbook entries as the daemon and the data service write them, a few
// damaged ones, and structured inputs of the time target. The text seeds
// (gpsd lines, settings files, translation tables) are kept as they are.
//
//   build/fuzz/fuzz_corpus_gen fuzz/corpus

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"
#include "records/CGpsPoint.h"
#include "records/CRuntimeGeneralNonWM.h"
#include "records/CRuntimeGps.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGeneralNonWM.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace
{
// Selector bytes of fuzz_records (its first input byte).
enum Kind : char {
    KindSetupGps,
    KindSetupGpsTracking,
    KindSetupGeneral,
    KindRuntimeGeneral,
    KindRuntimeGps,
    KindTriggerFtpTransfer,
    KindGpsPoint,
    KindRuntimeGpsOverHeld,
};

QString outDir;

void write(const QString &target, const QString &name, const QByteArray &bytes)
{
    const QString dir = outDir + QLatin1Char('/') + target;
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

void writeRecord(const QString &name, Kind kind, const QByteArray &record)
{
    write(QStringLiteral("records"), name, QByteArray(1, kind) + record);
}

CDateTime driveStart()
{
    return CDateTime::fromDateTime(QDate(2026, 3, 2), QTime(7, 0, 5));
}

CGpsPoint fixPoint()
{
    CGpsPoint p;
    p.dateTime = driveStart();
    p.latitude = 48.78232;
    p.longitude = 9.17702;
    p.altitude = 245.5;
    p.status = 1;
    p.timeOffset = 3600;
    p.satellites = 9;
    p.hdop = 1.0;
    p.speed = 52.3;
    p.track = 271.4;
    return p;
}

void writeRecords()
{
    CSetupGps gps;
    writeRecord(QStringLiteral("setup_gps_default"), KindSetupGps, gps.serialize());
    gps.iTimeSync = 1;
    gps.bGpsEnabled = false;
    writeRecord(QStringLiteral("setup_gps_sync_off"), KindSetupGps, gps.serialize());
    QByteArray old = gps.serialize();
    old[3] = char(0xff); // version 255: below the supported one
    old[2] = 0;
    writeRecord(QStringLiteral("setup_gps_old_version"), KindSetupGps, old);

    CSetupGpsTracking tracking;
    writeRecord(QStringLiteral("tracking_default"), KindSetupGpsTracking, tracking.serialize());
    tracking.eTrackingStatus = CSetupGpsTracking::ByDistance;
    tracking.distance = 1000;
    writeRecord(QStringLiteral("tracking_by_distance"), KindSetupGpsTracking, tracking.serialize());
    writeRecord(QStringLiteral("tracking_truncated"), KindSetupGpsTracking, tracking.serialize().left(50));

    CSetupGeneralNonWM general;
    writeRecord(QStringLiteral("general_default"), KindSetupGeneral, general.serialize());
    general.setTimeZone(QStringLiteral("UTC"));
    general.setDaylightSaving(false);
    writeRecord(QStringLiteral("general_utc"), KindSetupGeneral, general.serialize());

    CRuntimeGeneralNonWM runtime;
    writeRecord(QStringLiteral("runtime_general_default"), KindRuntimeGeneral, runtime.serialize());
    runtime.setSoftwareVersion(QStringLiteral("GPS"), QStringLiteral("1.2.1"));
    runtime.setSoftwareVersion(QStringLiteral("STORE"), QStringLiteral("4.0"));
    runtime.setDateTime(driveStart());
    runtime.setText(4, QStringLiteral("text"));
    writeRecord(QStringLiteral("runtime_general_versions"), KindRuntimeGeneral, runtime.serialize());

    CRuntimeGps runtimeGps;
    writeRecord(QStringLiteral("runtime_gps_default"), KindRuntimeGps, runtimeGps.serialize());
    runtimeGps.setGpsPoint(fixPoint());
    runtimeGps.setRuntimeGpsText1(QStringLiteral("fix"));
    runtimeGps.setRuntimeGpsValue1(3);
    const QByteArray withFix = runtimeGps.serialize();
    writeRecord(QStringLiteral("runtime_gps_fix"), KindRuntimeGps, withFix);
    writeRecord(QStringLiteral("runtime_gps_over_held"), KindRuntimeGpsOverHeld, withFix);
    writeRecord(QStringLiteral("runtime_gps_trailing"), KindRuntimeGps, withFix + QByteArray("\x01\x02", 2));

    CRuntimeTriggerFtpTransfer trigger;
    writeRecord(QStringLiteral("trigger_default"), KindTriggerFtpTransfer, trigger.serialize());
    trigger.setStartGpsFileTransfer(true);
    trigger.setTriggerText1(QStringLiteral("/var/log/Vorlan/track"));
    trigger.setTriggerTime1(driveStart());
    writeRecord(QStringLiteral("trigger_gps_transfer"), KindTriggerFtpTransfer, trigger.serialize());

    CGpsPoint point;
    writeRecord(QStringLiteral("gps_point_reset"), KindGpsPoint, point.toBytes());
    point = fixPoint();
    writeRecord(QStringLiteral("gps_point_fix"), KindGpsPoint, point.toBytes());
}

void writeLogbook()
{
    const QString target = QStringLiteral("logbook");
    CLogGps enabled;
    enabled.iSubType = GPS_Enabled;
    write(target, QStringLiteral("gps_enabled"), enabled.serialize());

    CLogGps data;
    data.iSubType = GPS_Data;
    data.dtTimeStamp = driveStart();
    data.oGpsPoint = fixPoint();
    data.iFieldC = 3600; // the export offset the fuzz target takes from this field
    write(target, QStringLiteral("gps_data"), data.serialize());
    write(target, QStringLiteral("gps_data_truncated"), data.serialize().left(40));

    CLogTracking tracking;
    tracking.iSubType = GPS_Data;
    tracking.dtTimeStamp = driveStart();
    tracking.oGpsPoint = fixPoint();
    write(target, QStringLiteral("tracking_point"), tracking.serialize());
}

// Values in the raw layouts CFuzzInput reads, field by field (host byte
// order); a text is a length byte and the bytes.
class RawInput
{
public:
    template <typename T> RawInput &operator<<(T value)
    {
        m_bytes.append(reinterpret_cast<const char *>(&value), int(sizeof value));
        return *this;
    }
    RawInput &text(const char *text)
    {
        m_bytes.append(char(std::strlen(text)));
        m_bytes.append(text);
        return *this;
    }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

QByteArray timeInput(qint64 t, double fixTime, bool dst, const CDateTime &dt, const char *zone, double hdop)
{
    RawInput in;
    in << t << quint16(7168) << fixTime << quint8(dst) << dt.julianDay() << dt.msecsOfDay() << dt.spec()
       << qint64(t * 1000 + 500) << double(fixTime - double(t));
    in.text(zone);
    in << 48.78 << 9.17 << 48.79 << 9.18 << hdop << qint32(CSetupGpsTracking::ByDistance) << qint32(180)
       << qint32(100) << qint32(5) << 52.0 << 90.0 << qint8(3) << qint32(t / 31556952);
    return in.bytes();
}

// A report structure in the layout fuzz_gpsd_report reads after its zero byte.
void appendReport(RawInput &in, quint64 set, double fixTime, double lat, double lon, double kmh, qint32 used,
                  double hdop)
{
    const double mps = kmh / 3.6;
    in << set << fixTime << qint32(3) << lat << lon << 245.5 << 47.4 << 271.0 << mps << used << hdop
       << qint32(1);
    for (const char *text : {"NMEA0183", "", "/dev/ttyS1", "NMEA0183", ""})
        in.text(text);
}

void writeRawReports()
{
    // The adapter's own bits (SGpsReport): packet, status, time, lat/lon, altitude, speed, DOP.
    const quint64 fix = 0x1 | 0x2 | 0x4 | 0x40 | 0x80 | 0x100 | 0x200;
    RawInput drive;
    drive << char(0) << qint32(CSetupGpsTracking::ByDistance) << qint32(10) << qint32(30) << qint32(5);
    appendReport(drive, fix, 1772434805.0, 48.78232, 9.17702, 52.3, 8, 1.2);
    appendReport(drive, fix, 1772434806.0, 48.78245, 9.17690, 53.0, 8, 1.2);
    appendReport(drive, 0x1, 0.0, 0.0, 0.0, 0.0, 0, 0.0); // an NMEA line: only the packet mark
    appendReport(drive, fix, 1140000000.0, 48.78260, 9.17680, 0.0, 9, 0.9); // before the week rollover
    write(QStringLiteral("gpsd_report"), QStringLiteral("raw_reports"), drive.bytes());

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    RawInput odd;
    odd << char(0) << qint32(CSetupGpsTracking::BySpeedLevel) << qint32(-1) << qint32(0) << qint32(0);
    appendReport(odd, fix, nan, nan, nan, nan, 200, nan);
    appendReport(odd, fix, inf, inf, -inf, inf, 1, inf);
    appendReport(odd, ~quint64(0), -1e300, 1e300, -1e300, -1e300, -5, -0.0);
    write(QStringLiteral("gpsd_report"), QStringLiteral("raw_reports_unknown_values"), odd.bytes());
}

void writeTimeInputs()
{
    const QString target = QStringLiteral("gps_time");
    // 2026-03-02 07:00:05 UTC, summer-time zone, local record time.
    write(target, QStringLiteral("drive_berlin"),
          timeInput(1772434805, 1772434805.25, true, driveStart(), "Europe/Berlin", 1.4));
    // A receiver with the old week counter: 1024 weeks back, in 2006.
    write(target, QStringLiteral("rollover_2006"),
          timeInput(1140000000, 1140000000.0, false, CDateTime::fromUtc(QDate(2006, 2, 15), QTime(10, 40)),
                    "UTC", 0.9));
    // Summer time with daylight saving switched off, a POSIX TZ text.
    write(target, QStringLiteral("summer_no_dst"),
          timeInput(1783000000, 1783000000.5, false, CDateTime::fromDateTime(QDate(2026, 7, 3), QTime(12, 0)),
                    "CET-1CEST,M3.5.0,M10.5.0/3", 2.0));
    // No report values: NaN time and HDOP, a null date-time, no zone.
    write(target, QStringLiteral("unknown_values"),
          timeInput(0, std::numeric_limits<double>::quiet_NaN(), true, CDateTime(), "",
                    std::numeric_limits<double>::quiet_NaN()));
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    // The records carry local date-times; the seeds are made in the board's zone.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    outDir = QFile::decodeName(argv[1]);
    writeRecords();
    writeLogbook();
    writeTimeInputs();
    writeRawReports();
    return 0;
}
