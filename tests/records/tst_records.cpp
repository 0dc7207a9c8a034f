#include "RecordTestUtil.h"
#include "records/CGpsPoint.h"
#include "records/CRecordStream.h"
#include "records/CReplyCode.h"
#include "records/CRuntimeGeneralNonWM.h"
#include "records/CRuntimeGps.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGeneralNonWM.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"

#include <QtTest>
#include <cmath>

// "Europe/Berlin" as a stream string: byte length 26, UTF-16BE.
static const char *const kBerlinText =
    "0000001A 0045 0075 0072 006F 0070 0065 002F 0042 0065 0072 006C 0069 006E";

// The constructed general setup record, written out run by run from its layout.
static QByteArray generalSetupGolden()
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

// The constructed runtime GPS record: five false marks, empty texts (length 0,
// not the null marker), zeros, the reset point.
static QByteArray runtimeGpsGolden()
{
    return header() + rep("00 00000000", 4) + hex("00") + resetPoint();
}

// The constructed trigger record with both times at epoch 0 in UTC.
static QByteArray triggerGolden(const QByteArray &time = epochUtc())
{
    return header() + rep("0000", 9) + rep("00 00000000", 2) + hex("00") + time + hex("00") + time +
           hex("00 00000000");
}

// The constructed general runtime record in UTC.
static QByteArray generalRuntimeGolden()
{
    return header() + hex("00 00000000 00 00000000 00 00") /* 1-3 */ + rep("00 00000000", 10) /* 4-13 */ +
           hex("00 00000000 00") + epochUtc() /* 14-15 */ +
           hex("00 00000000 00 FFFFFFFF 00 00000000 00 FFFFFFFF") /* 16-19 */ +
           rep("00 00000000", 9) /* 20-28 */ + hex("00 00000000 00 00000000 00 00000000") /* 29-31 */;
}

class tst_Records : public QObject
{
    Q_OBJECT

private slots:
    void init() { setZone("UTC"); }

    void setupGps();
    void setupGpsTracking();
    void gpsPoint();
    void runtimeGpsBytesAndMarks();
    void runtimeGpsMerge();
    void trigger();
    void triggerTimeZones();
    void generalSetup();
    void generalSetupSharedField_data();
    void generalSetupSharedField();
    void generalRuntime();
    void replyCodes();
};

void tst_Records::setupGps()
{
    CSetupGps fresh;
    const QByteArray golden = header() + hex("00000000 01");
    QCOMPARE(fresh.serialize(), golden);
    QCOMPARE(fresh.serializationBuffer, golden);

    CSetupGps changed;
    changed.iTimeSync = 7;
    changed.bGpsEnabled = false;
    changed.reserved = "ABC";
    const QByteArray bytes = changed.serialize();
    QCOMPARE(bytes, hex("00000100 00000003 414243 00000007 00"));
    // Serialising a shorter record into a used buffer leaves no stale tail.
    QCOMPARE(fresh.serialize(), golden);
    CSetupGps back;
    QCOMPARE(back.parse(bytes).code(), CRecordStatus::Ok);
    QCOMPARE(back, changed);

    // Empty bytes and an old version leave the record as it was.
    CSetupGps kept;
    QCOMPARE(kept.parse(QByteArray()).code(), CRecordStatus::Truncated);
    QCOMPARE(kept.parse(hex("000000FF 00000000 00000001 00")).code(), CRecordStatus::OldVersion);
    QCOMPARE(kept, CSetupGps());

    // A newer version reads with the same layout; the version member stays.
    CSetupGps newer;
    QCOMPARE(newer.parse(header("00000101") + hex("00000005 00")).code(), CRecordStatus::Ok);
    QCOMPARE(newer.version, 256);
    QCOMPARE(newer.iTimeSync, 5);
    QCOMPARE(newer.bGpsEnabled, false);

    // Ends after the reserved block: the failed reads give 0 and false.
    CSetupGps cut;
    cut.iTimeSync = 3;
    QCOMPARE(cut.parse(header()).code(), CRecordStatus::Truncated);
    QCOMPARE(cut.iTimeSync, 0);
    QCOMPARE(cut.bGpsEnabled, false);
}

void tst_Records::setupGpsTracking()
{
    CSetupGpsTracking fresh;
    const QByteArray golden = header() + hex("00000000 00000000 000000B4 00000064 00000005");
    QCOMPARE(fresh.serialize(), golden);
    QCOMPARE(golden.size(), 60);

    CSetupGpsTracking old;
    QCOMPARE(old.parse(hex("000000FF") + rep("01", 56)).code(), CRecordStatus::OldVersion);
    QCOMPARE(old, CSetupGpsTracking());

    CSetupGpsTracking newer;
    QCOMPARE(newer.parse(header("00000101") + hex("00000004 FFFFFFFF 0000003C 000001F4 00000032")).code(),
             CRecordStatus::Ok);
    QCOMPARE(newer.eTrackingStatus, 4);
    QCOMPARE(newer.iExtra, -1);
    QCOMPARE(newer.iInterval, 60);
    QCOMPARE(newer.distance, 500);
    QCOMPARE(newer.SpeedLevel, 50);

    CSetupGpsTracking back;
    QCOMPARE(back.parse(newer.serialize()).code(), CRecordStatus::Ok);
    QCOMPARE(back, newer);
}

void tst_Records::gpsPoint()
{
    CGpsPoint fresh;
    QCOMPARE(fresh.toBytes(), resetPoint());
    QCOMPARE(CGpsPoint(QByteArray()).toBytes(), resetPoint());

    CGpsPoint p;
    p.version = 257;
    p.dateTime = CDateTime::fromUtc(QDate(2020, 5, 17), QTime(8, 9, 10));
    p.latitude = 48.5;
    p.longitude = 11.25;
    p.altitude = -1.0;
    p.status = 1;
    p.timeOffset = 7200;
    p.satellites = 12;
    p.hdop = 0.5;
    p.speed = 1.0;
    p.track = 0.5;
    const QByteArray bytes = p.toBytes();
    QCOMPARE(bytes, hex("00000101 0025856B 01BFD870 02 4048400000000000 4026800000000000 BFF0000000000000"
                        "00000001 00001C20 0000000C 3FE0000000000000 3FF0000000000000 3FE0000000000000"));
    CRecordStatus status;
    QCOMPARE(CGpsPoint(bytes, &status), p);
    QCOMPARE(status.code(), CRecordStatus::Ok);
    QCOMPARE(CGpsPoint().assignFromBytes(bytes + hex("00")).code(), CRecordStatus::TrailingData);

    // NaN never survives a read, an assignment or a copy.
    const QByteArray nan = hex("7FF8000000000000");
    const CGpsPoint read(hex("00000100 001A4450 00000000 FF") + nan + rep("00", 16) + rep("00", 12) + nan +
                         nan + nan);
    QCOMPARE(read.latitude, 0.0);
    QCOMPARE(read.hdop, 0.0);
    QCOMPARE(read.speed, 0.0);
    QCOMPARE(read.track, 0.0);
    CGpsPoint withNaN;
    withNaN.speed = std::nan("");
    withNaN.altitude = std::nan("");
    CGpsPoint assigned;
    assigned = withNaN;
    QCOMPARE(assigned.speed, 0.0);
    QCOMPARE(assigned.altitude, 0.0);
    QCOMPARE(CGpsPoint(withNaN).speed, 0.0);

    p.reset();
    QCOMPARE(p.toBytes(), resetPoint());
}

void tst_Records::runtimeGpsBytesAndMarks()
{
    CRuntimeGps fresh;
    QCOMPARE(fresh.serialize(), runtimeGpsGolden());
    QVERIFY(!fresh.isChanged());

    // Setting an unchanged value still marks, and a single point value marks the point.
    CRuntimeGps record;
    record.setLatitude(0.0);
    QVERIFY(record.isMarked(CRuntimeGps::MarkGpsPoint));
    QVERIFY(record.isChanged());
    QVERIFY(!record.isMarked(CRuntimeGps::MarkText1));
    record.setRuntimeGpsText1(QStringLiteral("A"));
    record.setRuntimeGpsValue1(-1);
    record.setRuntimeGpsValue2(2);
    record.setRuntimeGpsText2(QString());
    QCOMPARE(record.serialize(),
             header() + hex("01 00000002 0041 01 FFFFFFFF 01 00000002 01 FFFFFFFF 01") + resetPoint());

    // Every point setter lands in the point.
    CRuntimeGps all;
    const CDateTime time = CDateTime::fromUtc(QDate(2021, 3, 4), QTime(5, 6, 7));
    all.setDateTime(time);
    all.setLatitude(1.5);
    all.setLongitude(2.5);
    all.setAltitude(3.5);
    all.setStatus(1);
    all.setTimeOffset(60);
    all.setSatellites(9);
    all.setHdop(0.9);
    all.setSpeed(88.0);
    all.setTrack(180.0);
    QCOMPARE(all.gpsPoint().dateTime, time);
    QCOMPARE(QList<double>(
                 {all.latitude(), all.longitude(), all.altitude(), all.hdop(), all.speed(), all.track()}),
             QList<double>({1.5, 2.5, 3.5, 0.9, 88.0, 180.0}));
    QCOMPARE(QList<int>({all.status(), all.timeOffset(), all.satellites()}), QList<int>({1, 60, 9}));
    CGpsPoint nanPoint;
    nanPoint.track = std::nan("");
    all.setGpsPoint(nanPoint);
    QCOMPARE(all.track(), 0.0);
}

void tst_Records::runtimeGpsMerge()
{
    // Unmarked values are skipped, marked ones taken when they differ.
    CRuntimeGps merged;
    const QByteArray stream = header() + hex("00 00000002 0041 01 00000007 01 00000000 01 00000002 0042 01") +
                              hex("00000100 001A4450 00000000 FF 4048400000000000") + rep("00", 16) +
                              rep("00", 12) + rep("00", 24);
    QCOMPARE(merged.parse(stream).code(), CRecordStatus::Ok);
    QCOMPARE(merged.RuntimeGpsText1(), QString(""));
    QVERIFY(!merged.isMarked(CRuntimeGps::MarkText1));
    QCOMPARE(merged.RuntimeGpsValue1(), 7);
    QVERIFY(merged.isMarked(CRuntimeGps::MarkValue1));
    QVERIFY(!merged.isMarked(CRuntimeGps::MarkValue2)); // marked, but equal to the held 0
    QCOMPARE(merged.RuntimeGpsText2(), QString("B"));
    QCOMPARE(merged.latitude(), 48.5);
    QVERIFY(merged.isMarked(CRuntimeGps::MarkGpsPoint));
    QVERIFY(merged.isChanged());

    // A held NaN differs in bytes from the 0.0 read, so the marked point is taken.
    CRuntimeGps held;
    held.setSpeed(std::nan(""));
    QCOMPARE(held.parse(header() + rep("00 00000000", 4) + hex("01") + resetPoint()).code(),
             CRecordStatus::Ok);
    QCOMPARE(held.speed(), 0.0);

    // Points differ by their bytes: the same instant with another spec byte is taken.
    CRuntimeGps local;
    local.setDateTime(CDateTime::fromMSecsSinceEpoch(0));
    QVERIFY(local
                .parse(header() + rep("00 00000000", 4) + hex("01 00000100") +
                       epochUtc().replace(8, 1, hex("02")) + rep("00", 60))
                .ok());
    QCOMPARE(local.dateTime().spec(), quint8(CDateTime::Utc));

    CRuntimeGps old;
    old.setRuntimeGpsValue2(3);
    const CRuntimeGps before = old;
    QCOMPARE(old.parse(hex("000000FF") + rep("01", 40)).code(), CRecordStatus::OldVersion);
    QCOMPARE(old, before);

    CRuntimeGps roundTrip;
    QCOMPARE(roundTrip.parse(merged.serialize()).code(), CRecordStatus::Ok);
    QCOMPARE(roundTrip, merged);
}

void tst_Records::trigger()
{
    CRuntimeTriggerFtpTransfer fresh;
    QCOMPARE(fresh.serialize(), triggerGolden());
    QCOMPARE(fresh.serializeValues(),
             rep("00", 9) + rep("00000000", 2) + epochUtc() + epochUtc() + hex("00000000"));

    CRuntimeTriggerFtpTransfer start;
    start.setStartGpsFileTransfer(true);
    QCOMPARE(start.serialize().mid(40, 2), hex("01 01"));
    QVERIFY(start.isChanged());

    // All marks false: only the reserved block comes over.
    CRuntimeTriggerFtpTransfer unmarked;
    const QByteArray other = hex("00000100 00000001 55") + hex("00 01") + rep("00 01", 8) +
                             hex("00 00000002 0041 00 00000002 0041") + hex("00 00000000 00000000 02") +
                             hex("00 00000000 00000000 02 00 00000002 0041");
    QCOMPARE(unmarked.parse(other).code(), CRecordStatus::Ok);
    CRuntimeTriggerFtpTransfer expected;
    expected.reserved = hex("55");
    QCOMPARE(unmarked, expected);

    // Marked and equal: nothing changes, nothing is marked.
    CRuntimeTriggerFtpTransfer equal;
    QVERIFY(equal.parse(triggerGolden().replace(40, 2, hex("01 00"))).ok());
    QCOMPARE(equal, CRuntimeTriggerFtpTransfer());

    // Marked and different: taken and marked; a time naming the same instant is equal.
    CRuntimeTriggerFtpTransfer merged;
    const QByteArray marked = header() + hex("01 01") + rep("00 00", 7) + hex("01 01") +
                              hex("01 00000002 0041 00 00000000") + hex("01 00253D8C 00000000 02") +
                              hex("01 00253D8C 00000001 02 01 00000002 0043");
    QCOMPARE(merged.parse(marked).code(), CRecordStatus::Ok);
    QVERIFY(merged.StartGpsFileTransfer() && merged.TriggerFlag9() && !merged.TriggerFlag2());
    QVERIFY(merged.isMarked(CRuntimeTriggerFtpTransfer::FieldTriggerFlag9));
    QCOMPARE(merged.TriggerText1(), QString("A"));
    QCOMPARE(merged.TriggerText3(), QString("C"));
    QVERIFY(!merged.isMarked(CRuntimeTriggerFtpTransfer::FieldTriggerTime1));
    QVERIFY(merged.isMarked(CRuntimeTriggerFtpTransfer::FieldTriggerTime2));
    QCOMPARE(merged.TriggerTime2().msecsOfDay(), 1u);

    CRuntimeTriggerFtpTransfer old;
    QCOMPARE(old.parse(hex("000000FF 00000001 55") + rep("01", 40)).code(), CRecordStatus::OldVersion);
    QCOMPARE(old, CRuntimeTriggerFtpTransfer());

    // Every setter marks; the values survive a round trip.
    CRuntimeTriggerFtpTransfer all;
    all.setTriggerFlag2(true);
    all.setTriggerFlag3(false);
    all.setTriggerFlag4(true);
    all.setTriggerFlag5(true);
    all.setTriggerFlag6(true);
    all.setTriggerFlag7(true);
    all.setTriggerFlag8(true);
    all.setTriggerText2(QStringLiteral("two"));
    all.setTriggerTime1(CDateTime::fromUtc(QDate(2020, 1, 2), QTime(3, 4, 5)));
    CRuntimeTriggerFtpTransfer back;
    QVERIFY(back.parse(all.serialize()).ok());
    QVERIFY(back.TriggerFlag2() && back.TriggerFlag8() && !back.TriggerFlag3());
    QVERIFY(
        !back.isMarked(CRuntimeTriggerFtpTransfer::FieldTriggerFlag3)); // marked false equals the held false
    QCOMPARE(back.TriggerText2(), QString("two"));
    QCOMPARE(back.TriggerTime1(), all.TriggerTime1());
}

void tst_Records::triggerTimeZones()
{
    // Epoch 0 as Berlin time is 01:00 standard time; a summer instant carries 01.
    setZone("Europe/Berlin");
    CRuntimeTriggerFtpTransfer berlin;
    QCOMPARE(berlin.serialize(), triggerGolden(hex("00253D8C 0036EE80 00")));
    berlin.setTriggerTime1(CDateTime::fromTimeT(1579089600)); // 2020-01-15 12:00 UTC
    berlin.setTriggerTime2(CDateTime::fromTimeT(1593604800)); // 2020-07-01 12:00 UTC
    const QByteArray values = berlin.serializeValues();
    QCOMPARE(values.mid(17, 18), hex("002584F0 02CA1C80 00 00258598 03010B00 01"));
}

void tst_Records::generalSetup()
{
    CSetupGeneralNonWM fresh;
    QCOMPARE(fresh.serialize(), generalSetupGolden());
    QCOMPARE(fresh.timeZone(), QString("Europe/Berlin"));
    QVERIFY(fresh.daylightSaving());

    CSetupGeneralNonWM old;
    QCOMPARE(old.parse(hex("000000FF") + rep("01", 600)).code(), CRecordStatus::OldVersion);
    QCOMPARE(old, CSetupGeneralNonWM());

    // Cut off after field 71: empty zone text, daylight saving off.
    const QByteArray golden = generalSetupGolden();
    CSetupGeneralNonWM cut;
    QCOMPARE(cut.parse(golden.left(golden.indexOf(hex(kBerlinText)))).code(), CRecordStatus::Truncated);
    QCOMPARE(cut.timeZone(), QString(""));
    QVERIFY(!cut.daylightSaving());

    // Every field changed survives the round trip.
    CSetupGeneralNonWM all;
    for (int field = 1; field <= CSetupGeneralNonWM::kFieldCount; ++field) {
        switch (CSetupGeneralNonWM::fieldType(field)) {
        case CSetupGeneralNonWM::FieldType::Bool:
            QVERIFY(all.setField(field, !fresh.field(field).toBool()));
            break;
        case CSetupGeneralNonWM::FieldType::String:
            QVERIFY(all.setField(field, QStringLiteral("f%1").arg(field)));
            break;
        case CSetupGeneralNonWM::FieldType::ByteArray:
            QVERIFY(all.setField(field, QByteArray("r")));
            break;
        default:
            QVERIFY(all.setField(field, 1000 + field));
        }
    }
    all.setTimeZone(QStringLiteral("UTC"));
    QCOMPARE(all.field(CSetupGeneralNonWM::kTimeZoneField), QVariant(QStringLiteral("UTC")));
    QVERIFY(!all.daylightSaving());
    CSetupGeneralNonWM back;
    QVERIFY(back.parse(all.serialize()).ok());
    QCOMPARE(back, all);
    QCOMPARE(back.field(123), QVariant(qint64(1123)));
    QCOMPARE(back.field(100), QVariant(1100.0));
    QVERIFY(!back.field(0).isValid());
    QVERIFY(!back.setField(137, 1));
    QVERIFY(!back.setField(2, QStringLiteral("no number")));
}

void tst_Records::generalSetupSharedField_data()
{
    QTest::addColumn<char>("field11");
    QTest::addColumn<char>("field32");
    QTest::addColumn<bool>("member");
    QTest::newRow("later place true") << '\0' << '\1' << true;
    QTest::newRow("later place false") << '\1' << '\0' << false;
}

void tst_Records::generalSetupSharedField()
{
    QFETCH(char, field11);
    QFETCH(char, field32);
    QFETCH(bool, member);
    // Field 11 lies at byte 64 and field 32 at byte 118 of the stream.
    QByteArray bytes = generalSetupGolden();
    bytes[64] = field11;
    bytes[118] = field32;
    CSetupGeneralNonWM record;
    QVERIFY(record.parse(bytes).ok());
    QCOMPARE(record.field(11).toBool(), member);
    QCOMPARE(record.field(32).toBool(), member);
    const QByteArray written = record.serialize();
    QCOMPARE(written.at(64), char(member));
    QCOMPARE(written.at(118), char(member));
}

void tst_Records::generalRuntime()
{
    CRuntimeGeneralNonWM fresh;
    QCOMPARE(fresh.serialize(), generalRuntimeGolden());
    QCOMPARE(fresh.text(4), QString(""));
    QCOMPARE(fresh.value(17), QVariant(-1));

    CRuntimeGeneralNonWM record;
    record.setSoftwareVersion(QStringLiteral("GPS"), QStringLiteral("old"));
    record.setSoftwareVersion(QStringLiteral("GPS"), QStringLiteral("1.2"));
    QCOMPARE(record.softwareVersions().size(), 1);
    QVERIFY(record.isChanged());
    // Only item 29 differs from the constructed bytes; the record change mark is not written.
    QByteArray expected = generalRuntimeGolden();
    const int item29 = expected.size() - 15;
    expected.replace(item29, 5, hex("01 00000001 00000006 0047 0050 0053 00000006 0031 002E 0032"));
    QCOMPARE(record.serialize(), expected);

    // Two modules: written in the hash's reverse iteration order.
    record.setSoftwareVersion(QStringLiteral("IO"), QStringLiteral("2"));
    const QByteArray firstWritten = record.softwareVersions().keys().last() == QLatin1String("IO")
                                        ? hex("00000004 0049 004F 00000002 0032")
                                        : hex("00000006 0047 0050 0053 00000006 0031 002E 0032");
    QVERIFY(record.serialize().mid(item29 + 1).startsWith(hex("00000002") + firstWritten));

    // Setters mark; the stand-in service merges marked items.
    QVERIFY(!record.setText(17, QStringLiteral("not a text item")));
    QVERIFY(record.setText(30, QStringLiteral("x")));
    record.setDateTime(CDateTime::fromUtc(QDate(2020, 1, 1), QTime(0, 0)));
    QVERIFY(record.isMarked(30) && record.isMarked(15) && !record.isMarked(4));
    CRuntimeGeneralNonWM service;
    QVERIFY(service.parse(record.serialize()).ok());
    QCOMPARE(service.softwareVersions(), record.softwareVersions());
    QCOMPARE(service.text(30), QString("x"));
    QCOMPARE(service.dateTime(), record.dateTime());
    QVERIFY(service.isMarked(29) && !service.isMarked(1));

    setZone("Europe/Berlin");
    QCOMPARE(CRuntimeGeneralNonWM().serialize().mid(40 + 5 + 5 + 2 + 50 + 5 + 1, 9),
             hex("00253D8C 0036EE80 00"));
}

void tst_Records::replyCodes()
{
    QCOMPARE(CReplyCode::name(CReplyCode::REPLY_SUCCESS), QString("REPLY_SUCCESS"));
    QCOMPARE(CReplyCode::name(4), QString("4"));
    QCOMPARE(CReplyCode::name(-2018), QString("-2018"));
    QCOMPARE(CReplyCode::name(2001), QString("SUCCESS_AFTER_DELETE_ONE_ROW"));
    QCOMPARE(CReplyCode::name(-1004), QString("Object_Array_Pointer_NULL"));
    QCOMPARE(CReplyCode::name(-3003), QString("TABLE_EMPTY"));
    QCOMPARE(CReplyCode::name(0), QString("REPLY_NO_SUCCESS"));
    QCOMPARE(CReplyCode::letterSuffix(0), QString());
    QCOMPARE(CReplyCode::letterSuffix(25), QString());
    QCOMPARE(CReplyCode::letterSuffix(1), QString("_A"));
    QCOMPARE(CReplyCode::letterSuffix(24), QString("_X"));
}

QTEST_APPLESS_MAIN(tst_Records)
#include "tst_records.moc"
