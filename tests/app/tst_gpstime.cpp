#include "app/CGpsTime.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace
{
const char kUtc[] = "UTC0";
const char kBerlin[] = "CET-1CEST,M3.5.0,M10.5.0/3";

void setZone(const QByteArray &zone)
{
    qputenv("TZ", zone);
    tzset();
}

qint64 utc(int y, int mo, int d, int h, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

bool fitsTimeT(qint64 secs)
{
    return qint64(time_t(secs)) == secs;
}

// Calendar fields only; UTC so that no zone rule can move them.
QDateTime fields(const QDate &d, const QTime &t)
{
    return QDateTime(d, t, Qt::UTC);
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
    void offsetSyncAndPayload();
};

void tst_GpsTime::faultyYear_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("t");
    QTest::addColumn<bool>("faulty");
    QTest::newRow("last second of 2018") << QByteArray(kUtc) << utc(2018, 12, 31, 23, 59, 59) << true;
    QTest::newRow("first second of 2019") << QByteArray(kUtc) << utc(2019, 1, 1, 0) << false;
    QTest::newRow("2019 locally, 2018 in UTC") << QByteArray("CET-1") << utc(2018, 12, 31, 23, 30) << false;
    QTest::newRow("2018 locally, 2019 in UTC") << QByteArray("EST5") << utc(2019, 1, 1, 3) << true;
}

void tst_GpsTime::faultyYear()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, t);
    setZone(zone);
    QTEST(CGpsTime::IsFaultiyYear(time_t(t)), "faulty");
}

void tst_GpsTime::addDays_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("start"); // local fields
    QTest::addColumn<int>("days");
    QTest::addColumn<QDateTime>("expected"); // local fields
    const QTime t(13, 45, 10);
    const struct {
        const char *name;
        QDate date;
        int days;
    } rows[] = {{"same year", {2021, 3, 1}, 10},
                {"to the last day", {2021, 12, 21}, 10},
                {"across the year end", {2021, 12, 31}, 1},
                {"onto a leap day", {2020, 2, 28}, 1},
                {"over a leap day", {2020, 2, 28}, 2},
                {"century without leap day", {2100, 2, 28}, 1},
                {"400-year leap day", {2000, 2, 28}, 1},
                {"rollover from 2018-12-31", {2018, 12, 31}, 7168},
                {"last day a 32-bit time_t holds", {2038, 1, 17}, 1},
                {"first day past a 32-bit time_t", {2038, 1, 18}, 1},
                {"most days", {2019, 6, 15}, 65535},
                {"no days", {2019, 6, 15}, 0}};
    for (const auto &r : rows)
        QTest::newRow(r.name) << QByteArray(kUtc) << fields(r.date, t) << r.days
                              << fields(r.date.addDays(r.days), t);
    // The standard-time flag is kept, so mktime reads the summer date as standard time.
    QTest::newRow("winter to summer keeps the flag")
        << QByteArray(kBerlin) << fields({2021, 1, 15}, {12, 0}) << 180 << fields({2021, 7, 14}, {13, 0});
}

void tst_GpsTime::addDays()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, start);
    QFETCH(int, days);
    QFETCH(QDateTime, expected);
    setZone(zone);
    // The board has a 32-bit time_t: nothing after 2038-01-19 03:14:07 UTC
    // exists there, and mktime answers -1 for a result beyond it. The rows
    // run in zones near UTC, so the fields read as UTC tell what fits.
    if (!fitsTimeT(start.toSecsSinceEpoch()))
        QSKIP("start date beyond this platform's time_t");
    const time_t from = time_t(CDateTime::fromDateTime(start.date(), start.time()).toTimeT());
    const time_t moved = CGpsTime::AddDays(from, quint16(days));
    if (!fitsTimeT(expected.toSecsSinceEpoch())) {
        QCOMPARE(moved, time_t(-1));
        return;
    }
    const CDateTime result = CDateTime::fromTimeT(moved);
    QCOMPARE(fields(result.date(), result.time()), expected);
}

void tst_GpsTime::zoneTime_data()
{
    QTest::addColumn<qint64>("t");
    QTest::addColumn<bool>("dst");
    QTest::addColumn<QDateTime>("expected"); // fields
    const QDate winter(2021, 1, 15);
    const QDate summer(2021, 7, 1);
    QTest::newRow("winter") << utc(2021, 1, 15, 12) << true << fields(winter, {13, 0});
    QTest::newRow("winter, summer time off") << utc(2021, 1, 15, 12) << false << fields(winter, {13, 0});
    QTest::newRow("summer") << utc(2021, 7, 1, 12) << true << fields(summer, {14, 0});
    // 12:00 (the daemon's UTC fields) read as CET is 11:00 UTC, shown as 13:00 CEST.
    QTest::newRow("summer, summer time off") << utc(2021, 7, 1, 12) << false << fields(summer, {13, 0});
}

void tst_GpsTime::zoneTime()
{
    QFETCH(qint64, t);
    QFETCH(bool, dst);
    QFETCH(QDateTime, expected);
    const CDateTime result = CGpsTime::ConvertToZoneTime(time_t(t), QString::fromLatin1(kBerlin), dst);
    QCOMPARE(fields(result.date(), result.time()), expected);
    QCOMPARE(result.spec(), quint8(CDateTime::LocalUnknown));
}

void tst_GpsTime::zoneRestored()
{
    // situation: TZ set, then TZ absent; expected: the same after a conversion
    CGpsTime::ConvertToZoneTime(utc(2021, 7, 1, 12), QString::fromLatin1(kBerlin), true);
    QCOMPARE(qgetenv("TZ"), QByteArray(kUtc));
    QCOMPARE(CDateTime::fromTimeT(utc(2021, 7, 1, 12)).time(), QTime(12, 0));

    qunsetenv("TZ");
    CGpsTime::ConvertToZoneTime(utc(2021, 7, 1, 12), QString::fromLatin1(kBerlin), true);
    QVERIFY(!qEnvironmentVariableIsSet("TZ"));
    QVERIFY(CGpsTime::ConvertToZoneTime(CDateTime(), QString::fromLatin1(kBerlin), true).isNull());
    QVERIFY(!qEnvironmentVariableIsSet("TZ"));
}

void tst_GpsTime::offsetSyncAndPayload()
{
    // time offset: zone-time fields read in the daemon's zone (UTC), truncated toward zero
    const QDate day(2021, 1, 15);
    const qint64 noon = utc(2021, 1, 15, 12) * 1000;
    QCOMPARE(CGpsTime::timeOffsetSecs(CDateTime::fromDateTime(day, {13, 0}), noon + 999), qint64(3599));
    QCOMPARE(CGpsTime::timeOffsetSecs(CDateTime::fromDateTime(day, {12, 0}), noon + 1500), qint64(-1));

    for (const double diff : {10.0, -10.0, 0.0, std::nan("")})
        QVERIFY2(!CGpsTime::needsSync(diff), qPrintable(QString::number(diff)));
    QVERIFY(CGpsTime::needsSync(10.5) && CGpsTime::needsSync(-10.5));

    QVERIFY(CGpsTime::gpsDateTime(0).isNull());
    // Julian day 2459230, 43200000 ms, standard-time byte, big-endian
    QCOMPARE(CGpsTime::syncPayload(CGpsTime::gpsDateTime(time_t(noon / 1000))),
             QByteArray("\x00\x25\x86\x5e\x02\x93\x2e\x00\x00", 9));
    setZone(kBerlin);
    QCOMPARE(CGpsTime::gpsDateTime(utc(2021, 7, 1, 12)).spec(), quint8(CDateTime::LocalDST));

    QCOMPARE(CGpsTime::gpsSeconds(-1.9), qint32(-1));
    QCOMPARE(CGpsTime::gpsSeconds(std::nan("")), qint32(0));
    QCOMPARE(CGpsTime::gpsSeconds(3e9), std::numeric_limits<qint32>::max());
}

QTEST_GUILESS_MAIN(tst_GpsTime)
#include "tst_gpstime.moc"
