// Whether a fix becomes a track point: distance, time, the rule of each mode.

#include "logbook/CTracking.h"
#include "records/CRuntimeGps.h"
#include <QtTest>
#include <limits>

namespace
{
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 kBaseMs = Q_INT64_C(1700000000000);

struct SFix {
    int atSec;
    double latitude, longitude, speed; // speed in km/h
};

CRuntimeGps makeFix(double latitude, double longitude, double speed, double hdop = 1.0)
{
    CRuntimeGps fix;
    fix.setLatitude(latitude);
    fix.setLongitude(longitude);
    fix.setSpeed(speed);
    fix.setTrack(90.0);
    fix.setHdop(hdop);
    return fix;
}

CDateTime utcAt(int day, int h, int m, int s, int ms)
{
    return CDateTime::fromMSecsSinceEpoch(
        QDateTime(QDate(2023, 11, day), QTime(h, m, s, ms), Qt::UTC).toMSecsSinceEpoch());
}
} // namespace

Q_DECLARE_METATYPE(STrackingValues)
Q_DECLARE_METATYPE(QVector<SFix>)
class tst_Tracking : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void distance_data()
    {
        // Haversine on a sphere of 6378137 m; stored distances depend on that radius.
        QTest::addColumn<QVector<double>>("points"); // lat1, lon1, lat2, lon2
        QTest::addColumn<double>("metres");
        QTest::newRow("east at 48 N, over 1000 m") << QVector<double>{48.0, 11.0, 48.0, 11.0135} << 1005.5783;
        QTest::newRow("east at 48 N, under 1000 m") << QVector<double>{48.0, 11.0, 48.0, 11.013} << 968.3346;
        QTest::newRow("across the date line") << QVector<double>{10.0, 179.9, 10.0, -179.9} << 21925.6592;
        QTest::newRow("south, diagonal") << QVector<double>{-27.2107, 153.052, -27.3, 153.1} << 11017.4155;
        QTest::newRow("half the earth") << QVector<double>{0.0, 0.0, 0.0, 180.0} << 20037508.3428;
    }
    void distance()
    {
        QFETCH(QVector<double>, points);
        QFETCH(double, metres);
        const double got = CTracking::distanceMetres(points[0], points[1], points[2], points[3]);
        QVERIFY2(qAbs(got - metres) < 0.001, qPrintable(QString::number(got, 'f', 4)));
    }
    void secondsBetween()
    {
        QCOMPARE(CTracking::secondsBetween(utcAt(14, 12, 0, 0, 0), utcAt(14, 12, 0, 9, 999)), qint64(9));
        QCOMPARE(CTracking::secondsBetween(utcAt(14, 12, 0, 10, 0), utcAt(14, 12, 0, 0, 500)), qint64(-9));
        // Only the time-of-day part is truncated: 0.2 s across midnight counts as 1.
        QCOMPARE(CTracking::secondsBetween(utcAt(14, 23, 59, 59, 900), utcAt(15, 0, 0, 0, 100)), qint64(1));
    }
    void decisions_data()
    {
        QTest::addColumn<STrackingValues>("values");
        QTest::addColumn<QVector<SFix>>("fixes");
        QTest::addColumn<QString>("stored"); // per fix: T stored, F not
        QTest::addColumn<int>("tickMs");     // the clock moves on by this at each reading
        const auto row = [](const char *name, const STrackingValues &values, const QVector<SFix> &fixes,
                            const char *stored, int tickMs = 0) {
            QTest::newRow(name) << values << fixes << QString::fromLatin1(stored) << tickMs;
        };
        const STrackingValues byTime{CTracking::kByTime, 10, 0, 0};
        row("time: first, +9 s, +10 s", byTime, {{0, 48, 11, 0}, {9, 48, 11, 0}, {10, 48, 11, 0}}, "TFT");
        row("time: clock set back", byTime,
            {{0, 48, 11, 0}, {-5, 48, 11, 0}, {9, 48, 11, 0}, {10, 48, 11, 0}}, "TFFT");
        // The clock moves on between the two readings of the first pass: one second short.
        row("time: first fix 1 ms late", byTime, {{0, 48, 11, 0}}, "F", 1);
        const STrackingValues byDistance{CTracking::kByDistance, 10, 1000, 0};
        row("distance: 968 m no, 1006 m yes, anchor moves", byDistance,
            {{0, 48, 11, 0},
             {1, 48, 11.013, 0},
             {2, 48, 11.0135, 0},
             {3, 48, 11.0265, 0},
             {4, 48, 11.027, 0}},
            "FFTFT");
        row("distance: NaN position", byDistance, {{0, 48, 11, 0}, {100, kNaN, 12, 0}}, "FF");
        const STrackingValues bySpeed{CTracking::kBySpeedLevel, 10, 0, 10};
        row("speed: 20, 20, 5, 5", bySpeed,
            {{0, 48, 11, 20}, {10, 48, 11, 20}, {20, 48, 11, 5}, {30, 48, 11, 5}}, "TTTF");
        row("speed: interval not reached", bySpeed, {{0, 48, 11, 20}, {5, 48, 11, 20}, {10, 48, 11, 10}},
            "TFT");
        row("speed: below from the start", bySpeed, {{0, 48, 11, 5}, {10, 48, 11, 5}}, "FF");
        row("speed: NaN speed", bySpeed, {{0, 48, 11, 20}, {10, 48, 11, kNaN}, {20, 48, 11, 5}}, "TFT");
        row("off: status 0", {0, 10, 1, 0}, {{0, 48, 11, 20}, {100, 49, 12, 20}}, "FF");
        row("off: status 1", {1, 10, 1, 0}, {{0, 48, 11, 20}, {100, 49, 12, 20}}, "FF");
    }
    void decisions()
    {
        QFETCH(STrackingValues, values);
        QFETCH(QVector<SFix>, fixes);
        QFETCH(int, tickMs);
        qint64 nowMs = kBaseMs;
        CTracking tracking;
        tracking.setClock(
            [&nowMs, tickMs] { return CDateTime::fromMSecsSinceEpoch((nowMs += tickMs) - tickMs); });
        QString got;
        for (const SFix &f : fixes) {
            nowMs = kBaseMs + qint64(f.atSec) * 1000;
            CRuntimeGps fix = makeFix(f.latitude, f.longitude, f.speed);
            tracking.prepare(fix, 3, values);
            const bool store = tracking.decide(fix, values);
            if (store)
                tracking.commit(fix, values);
            got += QLatin1Char(store ? 'T' : 'F');
        }
        QTEST(got, "stored");
    }
    void hdopAndFixMode_data()
    {
        QTest::addColumn<double>("hdop");
        QTest::addColumn<int>("fixMode");
        QTest::addColumn<double>("hdopAfter");
        QTest::addColumn<bool>("hdopUnknown");
        QTest::newRow("1.5") << 1.5 << 3 << 2.0 << false;
        QTest::newRow("2.49") << 2.49 << 2 << 2.0 << false;
        QTest::newRow("-0.5") << -0.5 << 3 << -1.0 << false;
        QTest::newRow("NaN") << kNaN << 3 << 1000.0 << true;
        QTest::newRow("infinite") << qInf() << 3 << 1000.0 << true;
        QTest::newRow("no 2D fix: untouched") << 1.5 << 1 << 1.5 << false;
    }
    void hdopAndFixMode()
    {
        QFETCH(double, hdop);
        QFETCH(int, fixMode);
        CTracking tracking;
        CRuntimeGps fix = makeFix(48.5, 11.5, 0, hdop);
        const bool twoD = fixMode >= 2;
        const CTracking::SPrepared found = tracking.prepare(fix, fixMode, STrackingValues{});
        QTEST(fix.hdop(), "hdopAfter");
        QTEST(found.hdopUnknown, "hdopUnknown");
        QCOMPARE(found.positionFix, twoD);
        QCOMPARE(tracking.anchorLatitude(), twoD ? 48.5 : 0.0);
        QCOMPARE(tracking.anchorLongitude(), twoD ? 11.5 : 0.0);
    }
    void logLines()
    {
        CTracking tracking;
        tracking.setClock([] { return CDateTime::fromMSecsSinceEpoch(kBaseMs); });
        const STrackingValues values{CTracking::kByDistance, 10, 1000, 0};
        CRuntimeGps fix = makeFix(48.0, 11.0135, 20.0, 1.5);
        QTest::ignoreMessage(QtDebugMsg, "File: cgpsprog Line:  896 :  DOP_SET: status / hdop:  2 ");
        QTest::ignoreMessage(QtWarningMsg,
                             "File: cgpsprog Line:  915 :  Pos  48 / 11.0135  Speed  20  Dir  90 ");
        tracking.prepare(fix, 3, values);
        QTest::ignoreMessage(QtDebugMsg,
                             "File: cgpsprog Line:  921 :  SaveGPSData eTrackingStatus  3  distance  0 "
                             " time diff.  10  iInterval  10 ");
        QVERIFY(!tracking.decide(fix, values));
    }
};

QTEST_GUILESS_MAIN(tst_Tracking)
#include "tst_tracking.moc"
