// Byte layouts of the records and logbook entries as the fleet's readers
// expect them, merging reads, and local date-times past 2038.

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"
#include "records/CGpsPoint.h"
#include "records/CRecordStream.h"
#include "records/CReplyCode.h"
#include "records/CRuntimeGeneralNonWM.h"
#include "records/CRuntimeGps.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGeneralNonWM.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"
#include "tests/support/RecordBytes.h"
#include <QDeadlineTimer>
#include <QtTest>
#include <cmath>
#include <functional>

namespace
{
// "Europe/Berlin" as a stream string: byte length 26, UTF-16BE.
const char *const kBerlinText = "0000001A 0045 0075 0072 006F 0070 0065 002F 0042 0065 0072 006C 0069 006E";

// The constructed general setup record, written out run by run from its layout.
QByteArray generalSetupGolden()
{
    return header() + rep("00000000", 5) /* 2-6 */ + hex("00 00 01 00 01 00 01 00") /* 7-14 */ +
           rep("00000000", 3) /* 15-17 */ + hex("01 00000000 000000") /* 18-22 */ +
           hex("00000001 00000000 00000000 00000001 00") /* 23-27 */ +
           hex("00000000 00000000 00 00000003 01") /* 28-32 */ +
           hex("00000000 00 00000000 0000 00000000 0000 00000000") /* 33-41 */ +
           hex("0000000A 0000000A 00000001 00000002") /* 42-45 */ + rep("00", 11) /* 46-56 */ +
           rep("00000000", 6) /* 57-62 */ + hex("00 00000000 00000000") /* 63-65 */ +
           hex("00000000 00000000 0000000000000000 0000003C 00000000 00") /* 66-71 */ + hex(kBerlinText) +
           hex("01 00000002 00000000 00000000 010101") /* 73-79 */ + rep("00000000", 3) /* 80-82 */ +
           hex("00000000 00 0000000A 00000005 00000000") /* 83-90 */ +
           hex("00000000 00000001 00 01 0000 00000000 00 00000000") /* 91-99 */ +
           hex("3FF0000000000000 00000006 0045 0055 0052 00000002") /* 100-102 */ +
           hex("00000006 0045 0055 0052 00000002 00000005 00000000") /* 103-106 */ +
           hex("00000000 00000000 00000000 00") /* 107-113 */ + rep("00000000", 4) /* 114-117 */ +
           hex("0000 00000001 00000000 00 00000000000001FF 00000000") /* 118-124 */ +
           hex("000000 00000000 00 00000000 00") /* 125-131 */ +
           hex("00000006 002D 002D 002D 00030D40 00000000 00000000 00") /* 132-136 */;
}

QByteArray triggerGolden(const QByteArray &time = kEpochUtc)
{
    return header() + rep("0000", 9) + rep("00 00000000", 2) + hex("00") + time + hex("00") + time +
           hex("00 00000000");
}

QByteArray generalRuntimeGolden(const QByteArray &time = kEpochUtc)
{
    return header() + hex("00 00000000 00 00000000 00 00") /* 1-3 */ + rep("00 00000000", 10) /* 4-13 */ +
           hex("00 00000000 00") + time /* 14-15 */ +
           hex("00 00000000 00 FFFFFFFF 00 00000000 00 FFFFFFFF") /* 16-19 */ +
           rep("00 00000000", 9) /* 20-28 */ + hex("00 00000000 00 00000000 00 00000000") /* 29-31 */;
}

// Logbook entry base: version 256, type, subtype -1, two zero qint64, 0001-01-01 local, -1, 0.
QByteArray constructedBase(const char *type)
{
    return hex("00000100") + hex(type) + hex("FFFFFFFF") + rep("00", 16) + hex("001A4450 00000000 FF") +
           hex("FFFFFFFF 00000000");
}

// A copy and a stream round trip compare equal to the record (entries have no comparison).
template <typename R> auto copiesAgree(const R &record) -> decltype(record == record)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << record;
    R back;
    QDataStream in(bytes);
    in >> back;
    return R(record) == record && back == record;
}
bool copiesAgree(const CLogBase &)
{
    return true;
}

// Reads each input in turn into one fresh record: the last status, and what it then writes
// ("copies differ" when a copy, an assigned copy or a stream round trip is not the same record).
using Reader = std::function<CRecordStatus(const QList<QByteArray> &, QByteArray *reserialized)>;

template <typename R> Reader reader()
{
    return [](const QList<QByteArray> &inputs, QByteArray *reserialized) {
        R record;
        CRecordStatus status;
        for (const QByteArray &bytes : inputs)
            status = record.parse(bytes);
        if (reserialized) {
            R assigned;
            assigned = record;
            *reserialized = record.serialize();
            if (R(record).serialize() != *reserialized || assigned.serialize() != *reserialized ||
                !copiesAgree(record))
                *reserialized = "copies differ";
        }
        return status;
    };
}

// Serialises twice: the second run reuses the buffer and must not append to it.
template <typename R> QByteArray twice(R record)
{
    record.serialize();
    return record.serialize();
}
} // namespace

Q_DECLARE_METATYPE(Reader)
class tst_Records : public QObject
{
    Q_OBJECT

private slots:
    void init() { setZone("UTC"); }
    void layouts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("golden");
        QTest::addColumn<Reader>("reader");
        QTest::addColumn<QByteArray>("reread"); // written after reading golden; empty: merges
        QTest::addColumn<int>("lengthOffset");  // where a byte-array length lies, -1 for none
        const auto row = [](const char *name, const QByteArray &bytes, const QByteArray &golden,
                            const Reader &reader, bool copies = true, int lengthOffset = 4) {
            QTest::newRow(name) << bytes << golden << reader << (copies ? golden : QByteArray())
                                << lengthOffset;
        };
        CSetupGps gps;
        gps.iTimeSync = 7;
        gps.bGpsEnabled = false;
        gps.reserved = "ABC";
        CSetupGpsTracking speedLevel;
        speedLevel.eTrackingStatus = 4;
        speedLevel.iExtra = -1;
        speedLevel.iInterval = 60;
        // Setting an unchanged value still marks; a single point value marks the point.
        CRuntimeGps marks;
        marks.setLatitude(0.0);
        marks.setRuntimeGpsText1(QStringLiteral("A"));
        marks.setRuntimeGpsValue1(-1);
        marks.setRuntimeGpsValue2(2);
        marks.setRuntimeGpsText2(QString());
        // Each setter marks its own flag.
        CRuntimeTriggerFtpTransfer flags;
        flags.setStartGpsFileTransfer(true);
        flags.setTriggerFlag3(false);
        for (auto set :
             {&CRuntimeTriggerFtpTransfer::setTriggerFlag4, &CRuntimeTriggerFtpTransfer::setTriggerFlag5,
              &CRuntimeTriggerFtpTransfer::setTriggerFlag6, &CRuntimeTriggerFtpTransfer::setTriggerFlag7,
              &CRuntimeTriggerFtpTransfer::setTriggerFlag8, &CRuntimeTriggerFtpTransfer::setTriggerFlag9})
            (flags.*set)(true);
        flags.setTriggerText3(QStringLiteral("C"));
        // A module set twice is kept once.
        CRuntimeGeneralNonWM version;
        version.setSoftwareVersion(QStringLiteral("GPS"), QStringLiteral("old"));
        version.setSoftwareVersion(QStringLiteral("GPS"), QStringLiteral("1.2"));
        CLogGps entry;
        entry.llFieldA = -2;
        entry.llFieldB = 0x0102030405060708;
        entry.iSubType = GPS_NoData;
        entry.dtTimeStamp = CDateTime::fromUtc(QDate(2020, 5, 17), QTime(8, 9, 10));
        entry.iFieldC = 3;
        entry.iFieldD = 4;
        entry.ownVersion = 5;
        entry.reserved = "xy";
        CGpsPoint &p = entry.oGpsPoint;
        p.version = 257;
        p.dateTime = entry.dtTimeStamp;
        p.latitude = 48.5;
        p.longitude = 11.25;
        p.altitude = -1.0;
        p.status = 1;
        p.timeOffset = 7200;
        p.satellites = 12;
        p.hdop = 0.5;
        p.speed = 1.0;
        p.track = 0.5;
        row("CSetupGps", twice(CSetupGps()), header() + hex("00000000 01"), reader<CSetupGps>());
        row("CSetupGps changed", twice(gps), hex("00000100 00000003 414243 00000007 00"),
            reader<CSetupGps>());
        row("CSetupGpsTracking changed", twice(speedLevel),
            header() + hex("00000004 FFFFFFFF 0000003C 00000064 00000005"), reader<CSetupGpsTracking>());
        row("CSetupGpsTracking", twice(CSetupGpsTracking()),
            header() + hex("00000000 00000000 000000B4 00000064 00000005"), reader<CSetupGpsTracking>());
        row("CGpsPoint", twice(CGpsPoint()), kResetPoint, reader<CGpsPoint>(), true, -1);
        const QByteArray pointBytes = hex("00000101 0025856B 01BFD870 02 4048400000000000 4026800000000000"
                                          "BFF0000000000000 00000001 00001C20 0000000C 3FE0000000000000"
                                          "3FF0000000000000 3FE0000000000000");
        row("CGpsPoint fields", twice(p), pointBytes, reader<CGpsPoint>(), true, -1);
        // Five false marks, empty texts (length 0, not the null marker), zeros, the reset point.
        row("CRuntimeGps", twice(CRuntimeGps()), header() + rep("00 00000000", 4) + hex("00") + kResetPoint,
            reader<CRuntimeGps>());
        row("CRuntimeGps marks", twice(marks),
            header() + hex("01 00000002 0041 01 FFFFFFFF 01 00000002 01 FFFFFFFF 01") + kResetPoint,
            reader<CRuntimeGps>(), false);
        row("trigger UTC", twice(CRuntimeTriggerFtpTransfer()), triggerGolden(),
            reader<CRuntimeTriggerFtpTransfer>());
        // Marks and values pairwise from byte 40.
        row("trigger flags", twice(flags),
            triggerGolden().replace(40, 18, hex("0101 0000 0100 0101 0101 0101 0101 0101 0101")).chopped(5) +
                hex("01 00000002 0043"),
            reader<CRuntimeTriggerFtpTransfer>(), false);
        row("CSetupGeneralNonWM", twice(CSetupGeneralNonWM()), generalSetupGolden(),
            reader<CSetupGeneralNonWM>());
        row("CRuntimeGeneralNonWM UTC", twice(CRuntimeGeneralNonWM()), generalRuntimeGolden(),
            reader<CRuntimeGeneralNonWM>());
        // Only item 29 differs; the record change mark is not written.
        const QByteArray runtime = generalRuntimeGolden();
        row("CRuntimeGeneralNonWM version", twice(version),
            QByteArray(runtime).replace(runtime.size() - 15, 5,
                                        hex("01 00000001 00000006 0047 0050 0053 00000006 0031 002E 0032")),
            reader<CRuntimeGeneralNonWM>());
        row("CLogGps", twice(CLogGps()), constructedBase("00000006") + header() + kResetPoint,
            reader<CLogGps>(), true, 49);
        row("CLogGps fields", twice(entry),
            hex("00000100 00000006 00002AFC FFFFFFFFFFFFFFFE 0102030405060708 0025856B 01BFD870 02"
                "00000003 00000004 00000005 00000002 7879") +
                pointBytes,
            reader<CLogGps>(), true, 49);
        // A read entry is never new: the last byte.
        const QByteArray tracking = constructedBase("00000001") + header("00000001") + kResetPoint;
        QTest::newRow("CLogTracking") << twice(CLogTracking()) << tracking + hex("01")
                                      << reader<CLogTracking>() << tracking + hex("00") << 49;
    }
    void layouts()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, golden);
        QFETCH(Reader, reader);
        QFETCH(QByteArray, reread);
        QFETCH(int, lengthOffset);
        QCOMPARE(bytes, golden);
        QByteArray written, kept;
        QVERIFY(reader({golden}, &written).ok());
        QVERIFY(written != "copies differ");
        if (!reread.isEmpty())
            QCOMPARE(written, reread);
        // Records (version, then the reserved block's length at byte 4) keep all on an old version.
        if (lengthOffset == 4) {
            QCOMPARE(reader({golden, hex("000000FF") + rep("01", 600)}, &kept).code(),
                     CRecordStatus::OldVersion);
            QCOMPARE(kept, written);
        }
        // Short and oversized input: a status, never a read past the end (garbage: the fuzz targets).
        for (int length = 0; length < golden.size(); ++length) {
            const CRecordStatus status = reader({golden.left(length)}, nullptr);
            if (status.ok())
                QFAIL(qPrintable(QStringLiteral("prefix of %1 bytes: %2").arg(length).arg(status.name())));
        }
        if (lengthOffset >= 0) {
            QByteArray oversized = golden;
            oversized.replace(lengthOffset, 4, hex("7FFFFFF0"));
            QCOMPARE(reader({oversized}, nullptr).code(), CRecordStatus::Truncated);
        }
        QCOMPARE(reader({golden + hex("00")}, nullptr).code(), CRecordStatus::TrailingData);
    }
    // Newer versions read on; old own parts and bad input.
    void versionsAndLimits()
    {
        CSetupGps gps;
        gps.iTimeSync = 3;
        CRuntimeGps runtime;
        runtime.setRuntimeGpsValue2(3);
        CSetupGpsTracking newer; // the version member stays
        QVERIFY(newer.parse(header("00000101") + hex("00000004 FFFFFFFF 0000003C 000001F4 00000032")).ok());
        QCOMPARE(QList<int>({newer.version, newer.eTrackingStatus, newer.iExtra, newer.iInterval,
                             newer.distance, newer.SpeedLevel}),
                 QList<int>({256, 4, -1, 60, 500, 50}));
        // Entry with own version 0: the base is read, the own part kept, the flag false.
        CLogTracking kept;
        kept.reserved = "k";
        kept.oGpsPoint.speed = 12.0;
        kept.iSubType = GPS_Data;
        QCOMPARE(kept.parse(constructedBase("00000001") + hex("00000000") + rep("01", 80)).code(),
                 CRecordStatus::OldVersion);
        QCOMPARE(QVariantList(
                     {kept.iSubType, kept.reserved, kept.oGpsPoint.speed, kept.ownVersion, kept.bNewEntry}),
                 QVariantList({-1, QByteArray("k"), 12.0, 1, false}));
        // A newer own version reads on; a NaN speed in the stream comes back as 0.0.
        QByteArray nanSpeed = twice(CLogTracking());
        nanSpeed.replace(45, 4, hex("00000002"));
        nanSpeed.replace(45 + 40 + 57, 8, hex("7FF8000000000000"));
        CLogTracking withNaN;
        withNaN.oGpsPoint.speed = 3.0;
        QVERIFY(withNaN.parse(nanSpeed).ok());
        QCOMPARE(QVariantList({withNaN.oGpsPoint.speed, withNaN.ownVersion}), QVariantList({0.0, 1}));
        // Nor does NaN survive an assignment; a copy keeps it for the tracking decision.
        CGpsPoint nanPoint, assigned;
        nanPoint.speed = std::nan("");
        assigned = nanPoint;
        QCOMPARE(assigned.speed, 0.0);
        QVERIFY(std::isnan(CGpsPoint(nanPoint).speed));
        // NaN read from bytes comes back as 0.0, in every value: lat, lon, alt, hdop, speed, track.
        for (const int at : {13, 21, 29, 49, 57, 65}) {
            CGpsPoint read;
            QVERIFY(
                read.assignFromBytes(QByteArray(kResetPoint).replace(at, 8, hex("7FF8000000000000"))).ok());
            QCOMPARE(read, CGpsPoint());
        }
        // Cut short: the status says so; no bytes at all: the point is reset.
        CRecordStatus cut;
        CGpsPoint emptied(kResetPoint.left(20), &cut);
        QCOMPARE(cut.code(), CRecordStatus::Truncated);
        emptied.latitude = 1.0;
        QCOMPARE(emptied.assignFromBytes(QByteArray()).code(), CRecordStatus::Truncated);
        QCOMPARE(emptied, CGpsPoint());
        // Ends after the reserved block: the failed reads give 0 and false.
        QCOMPARE(gps.parse(header()).code(), CRecordStatus::Truncated);
        QCOMPARE(QVariantList({gps.iTimeSync, gps.bGpsEnabled}), QVariantList({0, false}));
        // UTF-16 text cannot have an odd byte count; what follows is not read.
        QCOMPARE(runtime.parse(header() + hex("01 00000003 414243 01 00000007")).code(),
                 CRecordStatus::Corrupt);
        QCOMPARE(runtime.RuntimeGpsValue2(), 3);
        // A garbage count in the version table must not keep the reader busy.
        QByteArray bytes = CRuntimeGeneralNonWM().serialize();
        bytes.replace(bytes.size() - 14, 4, hex("FFFFFFF0"));
        const QDeadlineTimer limit(5000);
        QCOMPARE(CRuntimeGeneralNonWM().parse(bytes).code(), CRecordStatus::Truncated);
        QVERIFY(!limit.hasExpired());
    }
    // Merging reads take only marked values that differ from the held ones.
    void runtimeMerges()
    {
        CRuntimeGps merged;
        QVERIFY(merged
                    .parse(header() + hex("00 00000002 0041 01 00000007 01 00000000 01 00000002 0042 01") +
                           hex("00000100 001A4450 00000000 FF 4048400000000000") + rep("00", 52))
                    .ok());
        QCOMPARE(merged.RuntimeGpsText1() + merged.RuntimeGpsText2(), QString("B"));
        QCOMPARE(QVariantList({merged.RuntimeGpsValue1(), merged.latitude()}), QVariantList({7, 48.5}));
        // Marks: text 1, value 1, value 2 (marked, but equal to the held 0), the point; then changed.
        QCOMPARE(
            QList<bool>({merged.isMarked(CRuntimeGps::MarkText1), merged.isMarked(CRuntimeGps::MarkValue1),
                         merged.isMarked(CRuntimeGps::MarkValue2), merged.isMarked(CRuntimeGps::MarkGpsPoint),
                         merged.isChanged()}),
            QList<bool>({false, true, false, true, true}));
        // Each point setter writes its value and marks the point.
        const QList<std::function<void(CRuntimeGps &)>> setters = {
            [](CRuntimeGps &r) { r.setDateTime(CDateTime::fromMSecsSinceEpoch(0)); },
            [](CRuntimeGps &r) { r.setLongitude(1); },
            [](CRuntimeGps &r) { r.setAltitude(1); },
            [](CRuntimeGps &r) { r.setStatus(1); },
            [](CRuntimeGps &r) { r.setTimeOffset(1); },
            [](CRuntimeGps &r) { r.setSatellites(1); },
            [](CRuntimeGps &r) { r.setHdop(1); },
            [](CRuntimeGps &r) { r.setSpeed(1); },
            [](CRuntimeGps &r) { r.setTrack(1); },
            [](CRuntimeGps &r) { r.setGpsPoint(CGpsPoint(hex("00000101") + kResetPoint.mid(4))); }};
        for (int i = 0; i < setters.size(); ++i) {
            CRuntimeGps set;
            setters.at(i)(set);
            QVERIFY2(set.isMarked(CRuntimeGps::MarkGpsPoint) && !(set.gpsPoint() == CGpsPoint()),
                     qPrintable(QString::number(i)));
        }
        // Points differ by their bytes: the same instant with another time-spec byte is taken.
        CRuntimeGps local;
        local.setDateTime(CDateTime::fromMSecsSinceEpoch(0));
        QVERIFY(local
                    .parse(header() + rep("00 00000000", 4) + hex("01 00000100") +
                           QByteArray(kEpochUtc).replace(8, 1, hex("02")) + rep("00", 60))
                    .ok());
        QCOMPARE(local.dateTime().spec(), quint8(CDateTime::Utc));
        // Trigger, all marks false: only the reserved block comes over.
        CRuntimeTriggerFtpTransfer unmarked;
        QVERIFY(unmarked
                    .parse(hex("00000100 00000001 55 0001") + rep("00 01", 8) +
                           hex("00 00000002 0041 00 00000002 0041 00 00000000 00000000 02") +
                           hex("00 00000000 00000000 02 00 00000002 0041"))
                    .ok());
        CRuntimeTriggerFtpTransfer expected;
        expected.reserved = hex("55");
        QCOMPARE(unmarked, expected);
        // Marked and equal: nothing changes, nothing is marked.
        CRuntimeTriggerFtpTransfer equal;
        QVERIFY(equal.parse(triggerGolden().replace(40, 2, hex("01 00"))).ok());
        QCOMPARE(equal, CRuntimeTriggerFtpTransfer());
        // Marked and different: taken and marked; a time naming the same instant is equal.
        CRuntimeTriggerFtpTransfer trigger;
        QVERIFY(trigger
                    .parse(header() + hex("01 01") + rep("00 00", 7) +
                           hex("01 01 01 00000002 0041 00 00000000") +
                           hex("01 00253D8C 00000000 02 01 00253D8C 00000001 02 01 00000002 0043"))
                    .ok());
        QCOMPARE(
            QList<bool>({trigger.StartGpsFileTransfer(), trigger.TriggerFlag9(), trigger.TriggerFlag2()}),
            QList<bool>({true, true, false}));
        QCOMPARE(trigger.TriggerText1() + trigger.TriggerText3(), QString("AC"));
        QVERIFY(trigger.isMarked(CRuntimeTriggerFtpTransfer::FieldTriggerFlag9));
        QVERIFY(!trigger.isMarked(CRuntimeTriggerFtpTransfer::FieldTriggerTime1));
        QVERIFY(trigger.isMarked(CRuntimeTriggerFtpTransfer::FieldTriggerTime2));
        QCOMPARE(trigger.TriggerTime2().msecsOfDay(), 1u);
        // General runtime: only text items take a text; the setter marks, a reader takes the mark.
        CRuntimeGeneralNonWM general, service;
        QCOMPARE(QList<bool>({general.setText(17, "x"), general.setText(30, "x"), general.isMarked(17),
                              general.isMarked(30)}),
                 QList<bool>({false, true, false, true}));
        QVERIFY(service.parse(general.serialize()).ok());
        QCOMPARE(service.text(30), QStringLiteral("x"));
        QCOMPARE(QList<bool>({service.isMarked(1), service.isMarked(17), service.isMarked(30)}),
                 QList<bool>({false, false, true}));
        // Local instants carry the standard (00) or daylight-saving (01) byte.
        setZone("Europe/Berlin");
        CRuntimeTriggerFtpTransfer berlin;
        berlin.setTriggerTime1(CDateTime::fromTimeT(1579089600)); // 2020-01-15 12:00 UTC
        berlin.setTriggerTime2(CDateTime::fromTimeT(1593604800)); // 2020-07-01 12:00 UTC
        QCOMPARE(berlin.serializeValues().mid(17, 18), hex("002584F0 02CA1C80 00 00258598 03010B00 01"));
    }
    // Past 2038 a 32-bit time_t (the board's) wraps to 1901 unless handled.
    void localTimePast2038_data()
    {
        QTest::addColumn<QDateTime>("utc");
        QTest::addColumn<QDateTime>("fields"); // Berlin's, standard time
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("2040-01-16") << QDateTime({2040, 1, 16}, {12, 0}, Qt::UTC)
                                    << QDateTime({2040, 1, 16}, {13, 0}, Qt::UTC)
                                    << hex("0025A17A 02CA1C80 00");
        QTest::newRow("2039-12-31 23:30")
            << QDateTime({2039, 12, 31}, {22, 30}, Qt::UTC) << QDateTime({2039, 12, 31}, {23, 30}, Qt::UTC)
            << hex("0025A16A 050AE4C0 00");
    }
    void localTimePast2038()
    {
        QFETCH(QDateTime, utc);
        QFETCH(QDateTime, fields);
        const QByteArray zone = qgetenv("TZ");
        setZone("Europe/Berlin");
        const auto restore = qScopeGuard([&zone] { setZone(zone.constData()); });
        const CDateTime value = CDateTime::fromMSecsSinceEpoch(utc.toMSecsSinceEpoch());
        QCOMPARE(QDateTime(value.date(), value.time(), Qt::UTC), fields);
        QCOMPARE(value.spec(), quint8(CDateTime::LocalStandard));
        QTEST(CRecordStream::bytesOf(value), "bytes");
        QCOMPARE(value.toMSecsSinceEpoch(), utc.toMSecsSinceEpoch());
        QCOMPARE(CDateTime::fromDateTime(fields.date(), fields.time()).toMSecsSinceEpoch(),
                 utc.toMSecsSinceEpoch());
    }
    // Julian days across the calendar switch: the fleet's readers count Julian dates before it.
    void calendar_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("julianDay"); // 0: no such day
        QTest::newRow("Gregorian start") << QDate(1582, 10, 15) << 2299161;
        QTest::newRow("Gregorian, 1583") << QDate(1583, 6, 1) << 2299390;
        QTest::newRow("last Julian day") << QDate(1582, 10, 4) << 2299160;
        QTest::newRow("never existed") << QDate(1582, 10, 10) << 0;
        QTest::newRow("Julian April") << QDate(1500, 4, 30) << 2269053;
        QTest::newRow("year 1") << QDate(1, 1, 1) << 1721424;
        QTest::newRow("1 BC") << QDate(-1, 3, 1) << 1721118;
    }
    void calendar()
    {
        QFETCH(QDate, date);
        QFETCH(int, julianDay);
        QCOMPARE(CDateTime::julianDayFromDate(date), quint32(julianDay));
        QCOMPARE(CDateTime::dateFromJulianDay(quint32(julianDay)), julianDay ? date : QDate());
    }
    // The instant of a date-time of each kind, in Berlin.
    void instants()
    {
        setZone("Europe/Berlin");
        const QDateTime noon({2020, 7, 1}, {12, 0}, Qt::UTC);
        const CDateTime utc = CDateTime::fromUtc(noon.date(), noon.time());
        QCOMPARE(utc.toMSecsSinceEpoch(), noon.toMSecsSinceEpoch());
        QCOMPARE(utc.toQDateTime(), noon);
        QVERIFY(CDateTime().toQDateTime().isNull());
        QCOMPARE(CDateTime::fromUtc({1970, 1, 2}, QTime()).toMSecsSinceEpoch(),
                 86400000); // no time: midnight
        // Fields of unknown kind are read as the zone shows them: summer time.
        const CDateTime wall = CDateTime::fromDateTime(noon.date(), {14, 0});
        QCOMPARE(wall.toMSecsSinceEpoch(), noon.toMSecsSinceEpoch());
        QCOMPARE(wall.toQDateTime(), noon);
        // One instant of two kinds is equal; before 1970 a part second counts from the second before.
        QCOMPARE(CDateTime::fromMSecsSinceEpoch(noon.toMSecsSinceEpoch()), utc);
        const CDateTime before = CDateTime::fromMSecsSinceEpoch(-1);
        QCOMPARE(QDateTime(before.date(), before.time(), Qt::UTC),
                 QDateTime({1970, 1, 1}, {0, 59, 59, 999}, Qt::UTC));
    }
    void generalSetupFields()
    {
        const CSetupGeneralNonWM fresh;
        // Cut off after field 71: empty zone text, daylight saving off.
        const QByteArray golden = generalSetupGolden();
        CSetupGeneralNonWM cut;
        QCOMPARE(cut.parse(golden.left(golden.indexOf(hex(kBerlinText)))).code(), CRecordStatus::Truncated);
        QCOMPARE(cut.timeZone(), QString());
        QVERIFY(!cut.daylightSaving());
        // Fields 11 (byte 64) and 32 (byte 118) share one member: the later place wins, both are written.
        for (const bool member : {true, false}) {
            QByteArray bytes = golden;
            bytes[64] = char(!member);
            bytes[118] = char(member);
            CSetupGeneralNonWM record;
            QVERIFY(record.parse(bytes).ok());
            QCOMPARE(QList<bool>({record.field(11).toBool(), record.field(32).toBool()}),
                     QList<bool>({member, member}));
            bytes = record.serialize();
            QCOMPARE(bytes.mid(64, 1) + bytes.mid(118, 1), QByteArray(2, char(member)));
        }
        // Every field changed to a value of its own survives the round trip.
        CSetupGeneralNonWM all;
        using Type = CSetupGeneralNonWM::FieldType;
        for (int field = 1; field <= CSetupGeneralNonWM::kFieldCount; ++field) {
            const Type type = CSetupGeneralNonWM::fieldType(field);
            const QVariant value = type == Type::Bool        ? QVariant(!fresh.field(field).toBool())
                                   : type == Type::String    ? QVariant(QStringLiteral("f%1").arg(field))
                                   : type == Type::ByteArray ? QVariant(QByteArray("r"))
                                                             : QVariant(1000 + field);
            QVERIFY(all.setField(field, value));
        }
        all.setTimeZone(QStringLiteral("UTC"));
        QCOMPARE(all.field(CSetupGeneralNonWM::kTimeZoneField).toString(), QStringLiteral("UTC"));
        QVERIFY(!all.daylightSaving());
        CSetupGeneralNonWM back;
        QVERIFY(back.parse(all.serialize()).ok());
        QCOMPARE(back, all);
        QCOMPARE(QList<bool>({back.setField(137, 1), back.setField(2, QStringLiteral("no number"))}),
                 QList<bool>({false, false}));
    }
    void peeksAndNames()
    {
        CLogTracking entry;
        entry.iSubType = GPS_Data;
        entry.llFieldA = 11;
        entry.llFieldB = -12;
        entry.dtTimeStamp = CDateTime::fromUtc(QDate(2020, 1, 2), QTime(3, 4));
        entry.iFieldD = 13;
        const QByteArray bytes = entry.serialize();
        QCOMPARE(QList<qint64>({CLogBase::peekType(bytes), CLogBase::peekSubType(bytes),
                                CLogBase::peekFieldA(bytes), CLogBase::peekFieldB(bytes),
                                CLogBase::peekFieldD(bytes)}),
                 QList<qint64>({1, GPS_Data, 11, -12, 13}));
        QCOMPARE(CLogBase::peekTimeStamp(bytes), entry.dtTimeStamp);
        // Each peek reads only up to the end of its field.
        const auto reaches = [&bytes](auto peek, int end) {
            CRecordStatus cut, whole;
            peek(bytes.left(end - 1), &cut);
            peek(bytes.left(end), &whole);
            return !cut.ok() && whole.ok();
        };
        QCOMPARE(QList<bool>({reaches(&CLogBase::peekType, 8), reaches(&CLogBase::peekSubType, 12),
                              reaches(&CLogBase::peekFieldA, 20), reaches(&CLogBase::peekFieldB, 28),
                              reaches(&CLogBase::peekTimeStamp, 37), reaches(&CLogBase::peekFieldD, 45)}),
                 QList<bool>({true, true, true, true, true, true}));
        QStringList names;
        for (const int type : {0, 1, 6, 24})
            names << CLogBase::typeName(type);
        for (int subType = GPS_Data; subType <= GPS_NoData + 1; ++subType)
            names << logSubTypeName(subType);
        for (const int code : {int(CReplyCode::REPLY_SUCCESS), 0, 4, -2018, 2001, -1004, -3003})
            names << CReplyCode::name(code);
        names << CReplyCode::letterSuffix(0) + CReplyCode::letterSuffix(1) + CReplyCode::letterSuffix(24) +
                     CReplyCode::letterSuffix(25)
              << CLogBase::wrongTypeText(QStringLiteral("setLogbookGPS"), 1);
        QCOMPARE(names, QStringList({"unknown_LogbookType", "TRACKING", "GPS", "24", "GPS_Data",
                                     "GPS_Enabled", "GPS_Disabled", "GPS_ValidData", "GPS_NoData", "11005",
                                     "REPLY_SUCCESS", "REPLY_NO_SUCCESS", "4", "-2018",
                                     "SUCCESS_AFTER_DELETE_ONE_ROW", "Object_Array_Pointer_NULL",
                                     "TABLE_EMPTY", "_A_X", "setLogbookGPS has got wrong Type (TRACKING)"}));
    }
    void exportLine_data()
    {
        QTest::addColumn<int>("subType");
        QTest::addColumn<qint32>("offset");
        // latitude, longitude, altitude, hdop, speed, track; status, satellites, time offset
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QString>("line");
        QTest::newRow("example") << int(GPS_Data) << 0
                                 << QList<double>{48.5, 11.25, 512.7, 1.0, 54.9, 359.99, 1, 12, 0}
                                 << "08,20200517080910,11.250000,48.500000,512,11,12,1,0,54,359";
        QTest::newRow("upper limits, next day")
            << int(GPS_Data) << 57600
            << QList<double>{-48.5, -11.25, 12345.6, 99999.0, 1234.5, -5.7, 0, 150, 7200}
            << "08,20200518000910,-11.250000,-48.500000,9999,0,99,9999,7200,999,-5";
        QTest::newRow("previous day, negatives kept")
            << int(GPS_Data) << -29351 << QList<double>{0, 0, -20.9, 0.4, 0, 0, 2, -1, -3600}
            << "08,20200516235959,0.000000,0.000000,-20,2,-1,0,-3600,0,0";
        QTest::newRow("huge longitude, cut to 99 characters")
            << int(GPS_Data) << 0 << QList<double>{0, 1e200, 0, 0, 0, 0, 0, 0, 0}
            << "08,20200517080910," + QString::number(1e200, 'f', 6).left(81);
        // An empty text and a debug message without source and line.
        QTest::newRow("other subtype")
            << int(GPS_Enabled) << 0 << QList<double>{0, 0, 0, 0, 0, 0, 0, 0, 0} << QString();
    }
    void exportLine()
    {
        QFETCH(int, subType);
        QFETCH(QList<double>, values);
        CLogGps entry;
        entry.iSubType = subType;
        entry.dtTimeStamp = CDateTime::fromDateTime(QDate(2020, 5, 17), QTime(8, 9, 10));
        CGpsPoint &p = entry.oGpsPoint;
        int i = 0;
        for (double CGpsPoint::*member : {&CGpsPoint::latitude, &CGpsPoint::longitude, &CGpsPoint::altitude,
                                          &CGpsPoint::hdop, &CGpsPoint::speed, &CGpsPoint::track})
            p.*member = values[i++];
        for (qint32 CGpsPoint::*member : {&CGpsPoint::status, &CGpsPoint::satellites, &CGpsPoint::timeOffset})
            p.*member = qint32(values[i++]);
        if (subType != GPS_Data)
            QTest::ignoreMessage(QtDebugMsg, "CLogGps::LogSubType() =  11001 ");
        QFETCH(qint32, offset);
        QFETCH(QString, line);
        QCOMPARE(entry.exportTextLine(offset), QStringList{line});
    }

    // A length or count claiming more than the bytes left is a short read at
    // once: the reader never asks the stream for the claimed bytes (Qt would
    // first allocate them, a megabyte at a time).
    void hugeClaims_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        const int truncated = CRecordStatus::Truncated;
        const QByteArray runtime = generalRuntimeGolden();
        QTest::newRow("byte array") << 0 << hex("00000100 7FFFFFF0") + rep("00", 40) << truncated;
        QTest::newRow("text") << 1 << header() + hex("01 7FFFFFF0 0041") << truncated;
        QTest::newRow("odd text length: corrupt")
            << 1 << header() + hex("01 7FFFFFF1 0041") << int(CRecordStatus::Corrupt);
        QTest::newRow("table count") << 2
                                     << runtime.left(runtime.size() - 15) + hex("01 7FFFFFFF") + rep("00", 40)
                                     << truncated;
        QTest::newRow("text in a table")
            << 2 << runtime.left(runtime.size() - 15) + hex("01 00000001 7FFFFFF0") + rep("00", 40)
            << truncated;
        QTest::newRow("logbook byte array")
            << 3 << constructedBase("00000006") + hex("00000100 FFFFFFFE") + rep("00", 40) << truncated;
    }
    void hugeClaims()
    {
        // Remembers the largest read asked of it; unbuffered, so that is the reader's own request.
        struct Device : QBuffer {
            qint64 largest = 0;
            qint64 readData(char *data, qint64 size) override
            {
                largest = qMax(largest, size);
                return QBuffer::readData(data, size);
            }
        };
        QFETCH(int, record);
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        Device device;
        device.setData(bytes);
        QVERIFY(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        QDataStream in(&device);
        const auto readAs = [&in](auto entry) { return entry.read(in); };
        const std::function<CRecordStatus()> readers[] = {
            [&] { return readAs(CSetupGps()); }, [&] { return readAs(CRuntimeGps()); },
            [&] { return readAs(CRuntimeGeneralNonWM()); }, [&] { return readAs(CLogGps()); }};
        QCOMPARE(int(readers[record]().code()), status);
        QVERIFY2(device.largest <= bytes.size(), QByteArray::number(device.largest).constData());
    }
};

QTEST_APPLESS_MAIN(tst_Records)
#include "tst_records.moc"
