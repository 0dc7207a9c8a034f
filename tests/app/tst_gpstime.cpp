#include "app/CGpsTime.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace
{
const char kUtc[] = "UTC0";
const char kBerlin[] = "CET-1CEST,M3.5.0,M10.5.0/3";

void setZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

// Calendar fields only; UTC so that no zone rule can move them.
QDateTime fields(const QDate &d, const QTime &t)
{
    return QDateTime(d, t, Qt::UTC);
}

time_t utc(int y, int mo, int d, int h, int mi = 0, int s = 0)
{
    return time_t(QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch());
}
} // namespace

class tst_GpsTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { setZone(kUtc); }
    void faultyYear_data();
    void faultyYear();
    void addDays_data();
    void addDays();
    void zoneTime_data();
    void zoneTime();
    void zoneRestored();
    void timeOffset_data();
    void timeOffset();
    void syncDecision();
    void gpsDateTimeAndPayload();
    void gpsSeconds();
};

void tst_GpsTime::faultyYear_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("t");
    QTest::addColumn<bool>("faulty");
    QTest::newRow("last second of 2018") << QByteArray(kUtc) << qint64(utc(2018, 12, 31, 23, 59, 59)) << true;
    QTest::newRow("first second of 2019") << QByteArray(kUtc) << qint64(utc(2019, 1, 1, 0)) << false;
    QTest::newRow("2019 locally, 2018 in UTC")
        << QByteArray("CET-1") << qint64(utc(2018, 12, 31, 23, 30)) << false;
    QTest::newRow("2018 locally, 2019 in UTC") << QByteArray("EST5") << qint64(utc(2019, 1, 1, 3)) << true;
    QTest::newRow("1999 rollover epoch") << QByteArray(kUtc) << qint64(utc(1999, 8, 22, 0)) << true;
}

void tst_GpsTime::faultyYear()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, t);
    QFETCH(bool, faulty);
    setZone(zone.constData());
    QCOMPARE(CGpsTime::IsFaultiyYear(time_t(t)), faulty);
}

void tst_GpsTime::addDays_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("start"); // local fields
    QTest::addColumn<int>("days");
    QTest::addColumn<QDateTime>("expected"); // local fields
    const QTime t(13, 45, 10);
    auto row = [&](const char *name, const QDate &d, int days) {
        QTest::newRow(name) << QByteArray(kUtc) << fields(d, t) << days << fields(d.addDays(days), t);
    };
    row("same year", QDate(2021, 3, 1), 10);
    row("to the last day", QDate(2021, 12, 21), 10);
    row("across the year end", QDate(2021, 12, 31), 1);
    row("onto a leap day", QDate(2020, 2, 28), 1);
    row("over a leap day", QDate(2020, 2, 28), 2);
    row("century without leap day", QDate(2100, 2, 28), 1);
    row("400-year leap day", QDate(2000, 2, 28), 1);
    row("rollover from 2018-12-31", QDate(2018, 12, 31), CGpsTime::kRolloverDays);
    row("rollover from 1999-08-21", QDate(1999, 8, 21), CGpsTime::kRolloverDays);
    row("most days", QDate(2019, 6, 15), 65535);
    row("no days", QDate(2019, 6, 15), 0);
    // The standard-time flag is kept, so mktime reads the summer date as standard time.
    QTest::newRow("winter to summer keeps the flag")
        << QByteArray(kBerlin) << fields(QDate(2021, 1, 15), QTime(12, 0)) << 180
        << fields(QDate(2021, 7, 14), QTime(13, 0));
}

void tst_GpsTime::addDays()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, start);
    QFETCH(int, days);
    QFETCH(QDateTime, expected);
    setZone(zone.constData());
    const time_t from = time_t(CDateTime::fromDateTime(start.date(), start.time()).toTimeT());
    const CDateTime result = CDateTime::fromTimeT(CGpsTime::AddDays(from, quint16(days)));
    QCOMPARE(result.date(), expected.date());
    QCOMPARE(result.time(), expected.time());
}

void tst_GpsTime::zoneTime_data()
{
    QTest::addColumn<qint64>("t");
    QTest::addColumn<bool>("dst");
    QTest::addColumn<QDateTime>("expected"); // fields
    const QDate winter(2021, 1, 15);
    const QDate summer(2021, 7, 1);
    QTest::newRow("winter") << qint64(utc(2021, 1, 15, 12)) << true << fields(winter, QTime(13, 0));
    QTest::newRow("winter, summer time off")
        << qint64(utc(2021, 1, 15, 12)) << false << fields(winter, QTime(13, 0));
    QTest::newRow("summer") << qint64(utc(2021, 7, 1, 12)) << true << fields(summer, QTime(14, 0));
    // 12:00 (the daemon's UTC fields) read as CET is 11:00 UTC, shown as 13:00 CEST.
    QTest::newRow("summer, summer time off")
        << qint64(utc(2021, 7, 1, 12)) << false << fields(summer, QTime(13, 0));
}

void tst_GpsTime::zoneTime()
{
    QFETCH(qint64, t);
    QFETCH(bool, dst);
    QFETCH(QDateTime, expected);
    const CDateTime result = CGpsTime::ConvertToZoneTime(time_t(t), QString::fromLatin1(kBerlin), dst);
    QCOMPARE(result.date(), expected.date());
    QCOMPARE(result.time(), expected.time());
    QCOMPARE(result.spec(), quint8(CDateTime::LocalUnknown));
    QCOMPARE(CGpsTime::ConvertToZoneTime(CDateTime::fromTimeT(t), QString::fromLatin1(kBerlin), dst), result);
}

void tst_GpsTime::zoneRestored()
{
    // situation: TZ set / TZ absent before a conversion
    // expected: the same afterwards, and local time follows it again
    CGpsTime::ConvertToZoneTime(utc(2021, 7, 1, 12), QString::fromLatin1(kBerlin), true);
    QCOMPARE(qgetenv("TZ"), QByteArray(kUtc));
    QCOMPARE(CDateTime::fromTimeT(utc(2021, 7, 1, 12)).time(), QTime(12, 0));

    qunsetenv("TZ");
    CGpsTime::ConvertToZoneTime(utc(2021, 7, 1, 12), QString::fromLatin1(kBerlin), true);
    QVERIFY(!qEnvironmentVariableIsSet("TZ"));
    QVERIFY(!CGpsTime::ConvertToZoneTime(CDateTime(), QString::fromLatin1(kBerlin), true).isValid());
    QVERIFY(!qEnvironmentVariableIsSet("TZ"));
}

void tst_GpsTime::timeOffset_data()
{
    QTest::addColumn<QTime>("zoneTime"); // on 2021-01-15, read in UTC
    QTest::addColumn<QTime>("now");      // UTC, same day
    QTest::addColumn<qint64>("offset");
    QTest::newRow("one hour ahead") << QTime(13, 0) << QTime(12, 0) << qint64(3600);
    QTest::newRow("truncates") << QTime(13, 0) << QTime(12, 0, 0, 999) << qint64(3599);
    QTest::newRow("behind, toward zero") << QTime(12, 0) << QTime(12, 0, 1, 500) << qint64(-1);
}

void tst_GpsTime::timeOffset()
{
    QFETCH(QTime, zoneTime);
    QFETCH(QTime, now);
    QFETCH(qint64, offset);
    const QDate day(2021, 1, 15);
    const qint64 nowMs = QDateTime(day, now, Qt::UTC).toMSecsSinceEpoch();
    QCOMPARE(CGpsTime::timeOffsetSecs(CDateTime::fromDateTime(day, zoneTime), nowMs), offset);
}

void tst_GpsTime::syncDecision()
{
    const struct {
        double diff;
        bool sync;
    } rows[] = {{10.0, false}, {-10.0, false}, {10.5, true},
                {-10.5, true}, {0.0, false},   {std::numeric_limits<double>::quiet_NaN(), false}};
    for (const auto &row : rows)
        QVERIFY2(CGpsTime::needsSync(row.diff) == row.sync, qPrintable(QString::number(row.diff)));
}

void tst_GpsTime::gpsDateTimeAndPayload()
{
    QVERIFY(CGpsTime::gpsDateTime(0).isNull());
    QVERIFY(CGpsTime::gpsDateTime(-5).isNull());

    const CDateTime winter = CGpsTime::gpsDateTime(utc(2021, 1, 15, 12));
    QCOMPARE(winter.spec(), quint8(CDateTime::LocalStandard));
    // Julian day 2459230, 43200000 ms, standard-time byte, big-endian
    QCOMPARE(CGpsTime::syncPayload(winter), QByteArray("\x00\x25\x86\x5e\x02\x93\x2e\x00\x00", 9));

    setZone(kBerlin);
    const CDateTime summer = CGpsTime::gpsDateTime(utc(2021, 7, 1, 12));
    QCOMPARE(summer.spec(), quint8(CDateTime::LocalDST));
    QCOMPARE(summer.time(), QTime(14, 0));
}

void tst_GpsTime::gpsSeconds()
{
    QCOMPARE(CGpsTime::gpsSeconds(1795341191.801), qint32(1795341191));
    QCOMPARE(CGpsTime::gpsSeconds(-1.9), qint32(-1));
    QCOMPARE(CGpsTime::gpsSeconds(std::nan("")), qint32(0));
    QCOMPARE(CGpsTime::gpsSeconds(3e9), std::numeric_limits<qint32>::max());
    QCOMPARE(CGpsTime::gpsSeconds(-3e9), std::numeric_limits<qint32>::min());
}

QTEST_GUILESS_MAIN(tst_GpsTime)
#include "tst_gpstime.moc"
