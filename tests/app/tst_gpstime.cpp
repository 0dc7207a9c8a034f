// Time arithmetic of the GPS path: week rollover, zone time, offset, sync.

#include "app/CGpsTime.h"
#include "tests/support/RecordBytes.h"
#include <QtTest>
#include <cmath>
#include <limits>

namespace
{
const char kUtc[] = "UTC0";
const char kBerlin[] = "CET-1CEST,M3.5.0,M10.5.0/3";

qint64 utc(int y, int mo, int d, int h, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
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
    void faultyYear_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("t");
        QTest::addColumn<bool>("faulty");
        QTest::newRow("last second of 2018") << QByteArray(kUtc) << utc(2018, 12, 31, 23, 59, 59) << true;
        QTest::newRow("first second of 2019") << QByteArray(kUtc) << utc(2019, 1, 1, 0) << false;
        QTest::newRow("2019 locally, 2018 in UTC")
            << QByteArray("CET-1") << utc(2018, 12, 31, 23, 30) << false;
        QTest::newRow("2018 locally, 2019 in UTC") << QByteArray("EST5") << utc(2019, 1, 1, 3) << true;
    }
    void faultyYear()
    {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, t);
        setZone(zone.constData());
        QTEST(CGpsTime::IsFaultiyYear(time_t(t)), "faulty");
    }
    void addDays_data()
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
        } rows[] = {{"across the year end", {2021, 12, 31}, 1},
                    {"across a leap year's end", {2020, 12, 31}, 1},
                    {"through November", {2019, 11, 15}, 20},
                    {"last day of the year, no days", {2019, 12, 31}, 0},
                    {"onto a leap day", {2020, 2, 28}, 1},
                    {"century without leap day", {2100, 2, 28}, 1},
                    {"400-year leap day", {2000, 2, 28}, 1},
                    {"leap year, from June across the year end", {2020, 6, 1}, 300},
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
    void addDays()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, start);
        QFETCH(int, days);
        QFETCH(QDateTime, expected);
        setZone(zone.constData());
        // On a 32-bit time_t (the board's) mktime answers -1 past 2038-01-19 03:14:07 UTC;
        // the rows run near UTC, so fields read as UTC tell what fits.
        const auto fits = [](const QDateTime &d) {
            return qint64(time_t(d.toSecsSinceEpoch())) == d.toSecsSinceEpoch();
        };
        if (!fits(start))
            QSKIP("start date beyond this platform's time_t");
        const time_t moved = CGpsTime::AddDays(
            time_t(CDateTime::fromDateTime(start.date(), start.time()).toTimeT()), quint16(days));
        const CDateTime result = CDateTime::fromTimeT(moved);
        if (fits(expected))
            QCOMPARE(fields(result.date(), result.time()), expected);
        else
            QCOMPARE(moved, time_t(-1));
    }
    void zoneTime_data()
    {
        QTest::addColumn<qint64>("t");
        QTest::addColumn<bool>("dst");
        QTest::addColumn<QDateTime>("expected"); // fields
        const QDate winter(2021, 1, 15), summer(2021, 7, 1);
        QTest::newRow("winter") << utc(2021, 1, 15, 12) << true << fields(winter, {13, 0});
        QTest::newRow("winter, summer time off") << utc(2021, 1, 15, 12) << false << fields(winter, {13, 0});
        QTest::newRow("summer") << utc(2021, 7, 1, 12) << true << fields(summer, {14, 0});
        // 12:00 (the daemon's UTC fields) read as CET is 11:00 UTC, shown as 13:00 CEST.
        QTest::newRow("summer, summer time off") << utc(2021, 7, 1, 12) << false << fields(summer, {13, 0});
        QTest::newRow("summer time off, across a month's end")
            << utc(2021, 6, 30, 23, 30) << false << fields(summer, {0, 30});
    }
    void zoneTime()
    {
        QFETCH(qint64, t);
        QFETCH(bool, dst);
        const CDateTime result = CGpsTime::ConvertToZoneTime(time_t(t), QString::fromLatin1(kBerlin), dst);
        QTEST(fields(result.date(), result.time()), "expected");
        QCOMPARE(result.spec(), quint8(CDateTime::LocalUnknown));
        // The process's TZ is the same afterwards, also when it was absent.
        QCOMPARE(qgetenv("TZ"), QByteArray(kUtc));
        QCOMPARE(CDateTime::fromTimeT(t).time(), QDateTime::fromSecsSinceEpoch(t, Qt::UTC).time());
        qunsetenv("TZ");
        CGpsTime::ConvertToZoneTime(time_t(t), QString::fromLatin1(kBerlin), dst);
        QVERIFY(CGpsTime::ConvertToZoneTime(CDateTime(), QString::fromLatin1(kBerlin), dst).isNull());
        QVERIFY(!qEnvironmentVariableIsSet("TZ"));
    }
    void offsetSyncAndPayload()
    {
        // Zone-time fields read in the daemon's zone (UTC), truncated toward zero.
        const QDate day(2021, 1, 15);
        const qint64 noon = utc(2021, 1, 15, 12) * 1000;
        QCOMPARE(CGpsTime::timeOffsetSecs(CDateTime::fromDateTime(day, {13, 0}), noon + 999), qint64(3599));
        QCOMPARE(CGpsTime::timeOffsetSecs(CDateTime::fromDateTime(day, {12, 0}), noon + 1500), qint64(-1));
        for (const double diff : {10.0, -10.0, 0.0, std::nan(""), 10.5, -10.5})
            QVERIFY2(CGpsTime::needsSync(diff) == (std::fabs(diff) > 10.0),
                     qPrintable(QString::number(diff)));
        QVERIFY(CGpsTime::gpsDateTime(0).isNull());
        // Julian day 2459230, 43200000 ms, standard-time byte, big-endian.
        QCOMPARE(CGpsTime::syncPayload(CGpsTime::gpsDateTime(time_t(noon / 1000))),
                 hex("0025865E 02932E00 00"));
        setZone(kBerlin);
        QCOMPARE(CGpsTime::gpsDateTime(utc(2021, 7, 1, 12)).spec(), quint8(CDateTime::LocalDST));
        QCOMPARE(QList<qint32>({CGpsTime::gpsSeconds(-1.9), CGpsTime::gpsSeconds(std::nan("")),
                                CGpsTime::gpsSeconds(3e9)}),
                 QList<qint32>({-1, 0, std::numeric_limits<qint32>::max()}));
    }
};

QTEST_GUILESS_MAIN(tst_GpsTime)
#include "tst_gpstime.moc"
