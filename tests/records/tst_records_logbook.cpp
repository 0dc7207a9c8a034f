#include "RecordTestUtil.h"
#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"
#include "records/CRecordStream.h"

#include <QtTest>
#include <cmath>
#include <memory>

// Base part of a constructed entry: version 256, the type, subtype -1, two
// zero 64-bit numbers, 0001-01-01 00:00 local, -1, 0.
static QByteArray constructedBase(const char *type)
{
    return hex("00000100") + hex(type) + hex("FFFFFFFF") + rep("00", 16) + hex("001A4450 00000000 FF") +
           hex("FFFFFFFF 00000000");
}

static QStringList messages;

static void captureMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    messages.append(text);
}

class tst_RecordsLogbook : public QObject
{
    Q_OBJECT

private slots:
    void init() { setZone("UTC"); }

    void gpsEntry();
    void trackingEntry();
    void peeks();
    void names();
    void virtualSlots();
    void exportLine_data();
    void exportLine();
    void exportLineLimits();
};

void tst_RecordsLogbook::gpsEntry()
{
    CLogGps fresh;
    QCOMPARE(fresh.serialize(), constructedBase("00000006") + header() + resetPoint());
    QVERIFY(fresh.bNewEntry);

    // Every field set, and an own version read straight into the member.
    CLogGps entry;
    entry.llFieldA = -2;
    entry.llFieldB = 0x0102030405060708;
    entry.iSubType = GPS_NoData;
    entry.dtTimeStamp = CDateTime::fromUtc(QDate(2020, 5, 17), QTime(8, 9, 10));
    entry.iFieldC = 3;
    entry.iFieldD = 4;
    entry.ownVersion = 5;
    entry.reserved = "xy";
    entry.oGpsPoint.latitude = 48.5;
    entry.oGpsPoint.satellites = 7;
    const QByteArray bytes = entry.serialize();
    QCOMPARE(bytes.left(45), hex("00000100 00000006 00002AFC FFFFFFFFFFFFFFFE 0102030405060708"
                                 "0025856B 01BFD870 02 00000003 00000004"));
    QCOMPARE(bytes.mid(45, 10), hex("00000005 00000002 7879"));
    CRecordStatus status;
    const CLogGps back(bytes, &status);
    QCOMPARE(status.code(), CRecordStatus::Ok);
    QVERIFY(!back.bNewEntry);
    QCOMPARE(back.iType, 6);
    QCOMPARE(back.ownVersion, 5);
    QCOMPARE(back.oGpsPoint, entry.oGpsPoint);
    QCOMPARE(CLogGps(bytes).serialize(), bytes);

    // Parsing starts from an empty serialisation buffer.
    QVERIFY(!entry.serializationBuffer.isEmpty());
    QVERIFY(entry.parse(bytes).ok());
    QVERIFY(entry.serializationBuffer.isEmpty());
    QCOMPARE(CLogGps(QByteArray()).iType, 0);
}

void tst_RecordsLogbook::trackingEntry()
{
    CLogTracking fresh;
    const QByteArray golden = constructedBase("00000001") + header("00000001") + resetPoint() + hex("01");
    QCOMPARE(fresh.serialize(), golden);

    CLogTracking parsed;
    QCOMPARE(parsed.parse(golden).code(), CRecordStatus::Ok);
    QVERIFY(!parsed.bNewEntry);
    QCOMPARE(parsed.oGpsPoint, CGpsPoint());

    // Empty bytes give the constructed own part.
    QCOMPARE(parsed.parse(QByteArray()).code(), CRecordStatus::Truncated);
    QVERIFY(parsed.bNewEntry);
    QCOMPARE(parsed.serialize(), golden);

    // Own version 0: the base is read, the own part keeps its values, the flag goes false.
    CLogTracking kept;
    kept.reserved = "k";
    kept.oGpsPoint.speed = 12.0;
    kept.iSubType = GPS_Data;
    QCOMPARE(kept.parse(constructedBase("00000001") + hex("00000000") + rep("01", 80)).code(),
             CRecordStatus::OldVersion);
    QCOMPARE(kept.iSubType, -1);
    QCOMPARE(kept.reserved, QByteArray("k"));
    QCOMPARE(kept.oGpsPoint.speed, 12.0);
    QCOMPARE(kept.ownVersion, 1);
    QVERIFY(!kept.bNewEntry);

    // A NaN speed in the stream comes back as 0.0; a newer own version reads on.
    QByteArray nanSpeed = golden;
    nanSpeed.replace(45, 4, hex("00000002"));
    nanSpeed.replace(45 + 40 + 57, 8, hex("7FF8000000000000"));
    CLogTracking withNaN;
    withNaN.oGpsPoint.speed = 3.0;
    QVERIFY(withNaN.parse(nanSpeed).ok());
    QCOMPARE(withNaN.oGpsPoint.speed, 0.0);
    QCOMPARE(withNaN.ownVersion, 1);
}

void tst_RecordsLogbook::peeks()
{
    CLogTracking entry;
    entry.iSubType = GPS_Data;
    entry.llFieldA = 11;
    entry.llFieldB = -12;
    entry.dtTimeStamp = CDateTime::fromUtc(QDate(2020, 1, 2), QTime(3, 4));
    entry.iFieldD = 13;
    const QByteArray bytes = entry.serialize();
    CRecordStatus status;
    QCOMPARE(CLogBase::peekType(bytes, &status), 1);
    QVERIFY(status.ok());
    QCOMPARE(CLogBase::peekSubType(bytes), qint32(GPS_Data));
    QCOMPARE(CLogBase::peekFieldA(bytes), qint64(11));
    QCOMPARE(CLogBase::peekFieldB(bytes), qint64(-12));
    QCOMPARE(CLogBase::peekTimeStamp(bytes), entry.dtTimeStamp);
    QCOMPARE(CLogBase::peekFieldD(bytes), 13);
    // Only as far as needed: 8 bytes suffice for the type, not for the subtype.
    QCOMPARE(CLogBase::peekType(bytes.left(8), &status), 1);
    QVERIFY(status.ok());
    QCOMPARE(CLogBase::peekSubType(bytes.left(8), &status), 0);
    QCOMPARE(status.code(), CRecordStatus::Truncated);
}

void tst_RecordsLogbook::names()
{
    QCOMPARE(CLogBase::typeName(0), QString("unknown_LogbookType"));
    QCOMPARE(CLogBase::typeName(1), QString("TRACKING"));
    QCOMPARE(CLogBase::typeName(6), QString("GPS"));
    QCOMPARE(CLogBase::typeName(24), QString("24"));
    QCOMPARE(CLogBase::wrongTypeText(QStringLiteral("setLogbookGPS"), 1),
             QString("setLogbookGPS has got wrong Type (TRACKING)"));
    const QStringList subTypes{"GPS_Data", "GPS_Enabled", "GPS_Disabled", "GPS_ValidData", "GPS_NoData"};
    for (int i = 0; i < subTypes.size(); ++i)
        QCOMPARE(logSubTypeName(11000 + i), subTypes.at(i));
    QCOMPARE(logSubTypeName(11005), QString("11005"));
}

void tst_RecordsLogbook::virtualSlots()
{
    std::unique_ptr<CLogBase> entry(new CLogGps);
    entry->baseBuffer = "b";
    QCOMPARE(entry->integerQuery(), 0);
    QCOMPARE(entry->copyBaseBuffer(), QByteArray("b"));
    QCOMPARE(entry->baseBufferAddress(), &entry->baseBuffer);
}

void tst_RecordsLogbook::exportLine_data()
{
    QTest::addColumn<qint32>("offset");
    QTest::addColumn<QList<double>>("doubles"); // latitude, longitude, altitude, hdop, speed, track
    QTest::addColumn<QList<int>>("ints");       // status, satellites, time offset
    QTest::addColumn<QString>("line");
    QTest::newRow("example") << 0 << QList<double>{48.5, 11.25, 512.7, 1.0, 54.9, 359.99}
                             << QList<int>{1, 12, 0}
                             << "08,20200517080910,11.250000,48.500000,512,11,12,1,0,54,359";
    QTest::newRow("upper limits, next day")
        << 57600 << QList<double>{-48.5, -11.25, 12345.6, 99999.0, 1234.5, -5.7} << QList<int>{0, 150, 7200}
        << "08,20200518000910,-11.250000,-48.500000,9999,0,99,9999,7200,999,-5";
    QTest::newRow("previous day, negatives kept")
        << -29351 << QList<double>{0.0, 0.0, -20.9, 0.4, 0.0, 0.0} << QList<int>{2, -1, -3600}
        << "08,20200516235959,0.000000,0.000000,-20,2,-1,0,-3600,0,0";
}

void tst_RecordsLogbook::exportLine()
{
    QFETCH(qint32, offset);
    QFETCH(QList<double>, doubles);
    QFETCH(QList<int>, ints);
    QFETCH(QString, line);
    CLogGps entry;
    entry.iSubType = GPS_Data;
    entry.dtTimeStamp = CDateTime::fromDateTime(QDate(2020, 5, 17), QTime(8, 9, 10));
    CGpsPoint &p = entry.oGpsPoint;
    p.latitude = doubles[0];
    p.longitude = doubles[1];
    p.altitude = doubles[2];
    p.hdop = doubles[3];
    p.speed = doubles[4];
    p.track = doubles[5];
    p.status = ints[0];
    p.satellites = ints[1];
    p.timeOffset = ints[2];
    QCOMPARE(entry.exportTextLine(offset), QStringList{line});
}

void tst_RecordsLogbook::exportLineLimits()
{
    CLogGps entry;
    entry.iSubType = GPS_Data;
    entry.oGpsPoint.longitude = 1e200;
    const QString cut = entry.exportTextLine(0).value(0);
    QCOMPARE(cut.size(), 99);
    QVERIFY(cut.startsWith(QLatin1String("08,00010101000000,")));

    // Other subtypes: one empty text and a debug message without source and line.
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    entry.iSubType = GPS_Enabled;
    const QStringList lines = entry.exportTextLine(0);
    qInstallMessageHandler(previous);
    QCOMPARE(lines, QStringList{QString()});
    QCOMPARE(messages, QStringList{"CLogGps::LogSubType() =  11001 "});
}

QTEST_APPLESS_MAIN(tst_RecordsLogbook)
#include "tst_records_logbook.moc"
