#include "logbook/CTracking.h"
#include "records/CRuntimeGps.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <limits>

namespace
{
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 kBaseMs = Q_INT64_C(1700000000000);

struct SFix {
    int atSec;
    double latitude;
    double longitude;
    double speed; // km/h
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

// Reference by another formula on the same sphere: the spherical law of cosines.
double lawOfCosinesMetres(double lat1, double lon1, double lat2, double lon2)
{
    const double r = M_PI / 180.0;
    const double cosC = std::sin(lat1 * r) * std::sin(lat2 * r) +
                        std::cos(lat1 * r) * std::cos(lat2 * r) * std::cos((lon2 - lon1) * r);
    return std::acos(qBound(-1.0, cosC, 1.0)) * 6378137.0;
}

QDateTime utcAt(int day, int h, int m, int s, int ms)
{
    return QDateTime(QDate(2023, 11, day), QTime(h, m, s, ms), Qt::UTC);
}
} // namespace

Q_DECLARE_METATYPE(STrackingValues)
Q_DECLARE_METATYPE(QVector<SFix>)

class tst_Tracking : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void distance_data();
    void distance();
    void secondsBetween();
    void decisions_data();
    void decisions();
    void firstFixOneMillisecondLate();
    void hdopAndFixMode_data();
    void hdopAndFixMode();
    void logLines();
};

void tst_Tracking::distance_data()
{
    QTest::addColumn<QVector<double>>("points"); // lat1, lon1, lat2, lon2
    QTest::newRow("1005.6 m east at 48 N") << QVector<double>{48.0, 11.0, 48.0, 11.0135};
    QTest::newRow("968.3 m east at 48 N") << QVector<double>{48.0, 11.0, 48.0, 11.013};
    QTest::newRow("across the date line") << QVector<double>{10.0, 179.9, 10.0, -179.9};
    QTest::newRow("southern hemisphere, diagonal") << QVector<double>{-27.2107, 153.052, -27.3, 153.1};
    QTest::newRow("half the earth") << QVector<double>{0.0, 0.0, 0.0, 180.0};
}

void tst_Tracking::distance()
{
    QFETCH(QVector<double>, points);
    const double metres = CTracking::distanceMetres(points[0], points[1], points[2], points[3]);
    const double reference = lawOfCosinesMetres(points[0], points[1], points[2], points[3]);
    QVERIFY2(qAbs(metres - reference) <= 1e-6 * reference, qPrintable(QString::number(metres, 'f', 6)));
}

void tst_Tracking::secondsBetween()
{
    const auto between = [](const QDateTime &from, const QDateTime &to) {
        return CTracking::secondsBetween(CDateTime::fromMSecsSinceEpoch(from.toMSecsSinceEpoch()),
                                         CDateTime::fromMSecsSinceEpoch(to.toMSecsSinceEpoch()));
    };
    QCOMPARE(between(utcAt(14, 12, 0, 0, 0), utcAt(14, 12, 0, 9, 999)), qint64(9));
    QCOMPARE(between(utcAt(14, 12, 0, 10, 0), utcAt(14, 12, 0, 0, 500)), qint64(-9));
    // Only the time-of-day part is truncated: 0.2 s across midnight counts as 1.
    QCOMPARE(between(utcAt(14, 23, 59, 59, 900), utcAt(15, 0, 0, 0, 100)), qint64(1));
}

void tst_Tracking::decisions_data()
{
    QTest::addColumn<STrackingValues>("values");
    QTest::addColumn<QVector<SFix>>("fixes");
    QTest::addColumn<QString>("stored"); // per fix: T stored, F not

    const STrackingValues byTime{CTracking::kByTime, 10, 0, 0};
    QTest::newRow("time: first, +9 s, +10 s")
        << byTime << QVector<SFix>{{0, 48, 11, 0}, {9, 48, 11, 0}, {10, 48, 11, 0}} << "TFT";
    QTest::newRow("time: clock set back")
        << byTime << QVector<SFix>{{0, 48, 11, 0}, {-5, 48, 11, 0}, {9, 48, 11, 0}, {10, 48, 11, 0}}
        << "TFFT";

    const STrackingValues byDistance{CTracking::kByDistance, 10, 1000, 0};
    const QVector<SFix> east{
        {0, 48, 11, 0}, {1, 48, 11.013, 0}, {2, 48, 11.0135, 0}, {3, 48, 11.0265, 0}, {4, 48, 11.027, 0}};
    QTest::newRow("distance: 968 m no, 1006 m yes, anchor moves") << byDistance << east << "FFTFT";
    QTest::newRow("distance: NaN position")
        << byDistance << QVector<SFix>{{0, 48, 11, 0}, {100, kNaN, 12, 0}} << "FF";

    const STrackingValues bySpeed{CTracking::kBySpeedLevel, 10, 0, 10};
    QTest::newRow("speed: 20, 20, 5, 5")
        << bySpeed << QVector<SFix>{{0, 48, 11, 20}, {10, 48, 11, 20}, {20, 48, 11, 5}, {30, 48, 11, 5}}
        << "TTTF";
    QTest::newRow("speed: interval not reached")
        << bySpeed << QVector<SFix>{{0, 48, 11, 20}, {5, 48, 11, 20}, {10, 48, 11, 10}} << "TFT";
    QTest::newRow("speed: below from the start")
        << bySpeed << QVector<SFix>{{0, 48, 11, 5}, {10, 48, 11, 5}} << "FF";
    QTest::newRow("speed: NaN speed")
        << bySpeed << QVector<SFix>{{0, 48, 11, 20}, {10, 48, 11, kNaN}, {20, 48, 11, 5}} << "TFT";
    for (const int off : {0, 1})
        QTest::addRow("off: status %d", off)
            << STrackingValues{off, 10, 1, 0} << QVector<SFix>{{0, 48, 11, 20}, {100, 49, 12, 20}} << "FF";
}

void tst_Tracking::decisions()
{
    QFETCH(STrackingValues, values);
    QFETCH(QVector<SFix>, fixes);
    qint64 nowMs = kBaseMs;
    CTracking tracking;
    tracking.setClock([&nowMs] { return CDateTime::fromMSecsSinceEpoch(nowMs); });
    QString got;
    for (const SFix &f : fixes) {
        nowMs = kBaseMs + qint64(f.atSec) * 1000;
        CRuntimeGps fix = makeFix(f.latitude, f.longitude, f.speed);
        int fixMode = 3;
        quint8 lastValid = 0;
        tracking.prepare(fix, fixMode, lastValid, values);
        const bool store = tracking.decide(fix, values);
        if (store) {
            tracking.commit(fix, values, fixMode);
            QCOMPARE(fixMode, 1);
        }
        got += QLatin1Char(store ? 'T' : 'F');
    }
    QTEST(got, "stored");
}

void tst_Tracking::firstFixOneMillisecondLate()
{
    // situation: the clock moves on between the two readings of the first pass
    // expected: the first fix is one second short of the interval
    qint64 nowMs = kBaseMs;
    CTracking tracking;
    tracking.setClock([&nowMs] { return CDateTime::fromMSecsSinceEpoch(nowMs++); });
    const STrackingValues values{CTracking::kByTime, 10, 0, 0};
    CRuntimeGps fix = makeFix(48, 11, 0);
    int fixMode = 3;
    quint8 lastValid = 0;
    tracking.prepare(fix, fixMode, lastValid, values);
    QVERIFY(!tracking.decide(fix, values));
}

void tst_Tracking::hdopAndFixMode_data()
{
    QTest::addColumn<double>("hdop");
    QTest::addColumn<int>("fixMode");
    QTest::addColumn<double>("hdopAfter");
    QTest::addColumn<int>("fixModeAfter");
    QTest::newRow("1.5") << 1.5 << 3 << 2.0 << 3;
    QTest::newRow("2.49") << 2.49 << 2 << 2.0 << 2;
    QTest::newRow("NaN") << kNaN << 3 << 1000.0 << 1;
    QTest::newRow("no 2D fix: untouched") << 1.5 << 1 << 1.5 << 1;
}

void tst_Tracking::hdopAndFixMode()
{
    QFETCH(double, hdop);
    QFETCH(int, fixMode);
    CTracking tracking;
    CRuntimeGps fix = makeFix(48.5, 11.5, 0, hdop);
    const bool twoD = fixMode >= 2;
    quint8 lastValid = 1;
    tracking.prepare(fix, fixMode, lastValid, STrackingValues{});
    QTEST(fix.hdop(), "hdopAfter");
    QTEST(fixMode, "fixModeAfter");
    QCOMPARE(lastValid, quint8(twoD ? 2 : 1));
    QCOMPARE(tracking.anchorLatitude() + tracking.anchorLongitude(), twoD ? 60.0 : 0.0);
}

void tst_Tracking::logLines()
{
    CTracking tracking;
    tracking.setClock([] { return CDateTime::fromMSecsSinceEpoch(kBaseMs); });
    const STrackingValues values{CTracking::kByDistance, 10, 1000, 0};
    CRuntimeGps fix = makeFix(48.0, 11.0135, 20.0, 1.5);
    int fixMode = 3;
    quint8 lastValid = 0;
    const auto line = [](const char *pattern) { return QRegularExpression(QLatin1String(pattern)); };
    QTest::ignoreMessage(QtDebugMsg, line("cgpsprog Line: +896 : +DOP_SET: status / hdop: +2 $"));
    QTest::ignoreMessage(QtWarningMsg, line("Line: +915 : +Pos +48 +/ +11.0135 +Speed +20 +Dir +90 $"));
    tracking.prepare(fix, fixMode, lastValid, values);
    QTest::ignoreMessage(QtDebugMsg, line("Line: +921 : +SaveGPSData eTrackingStatus +3 +distance +0 "
                                          "+time diff\\. +10 +iInterval +10 $"));
    QVERIFY(!tracking.decide(fix, values));
}

QTEST_GUILESS_MAIN(tst_Tracking)
#include "tst_tracking.moc"
