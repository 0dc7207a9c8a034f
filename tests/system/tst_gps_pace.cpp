// Receivers as they are sold today, played in real time through gpsd into the
// daemon with the time check on and a receiver clock that agrees with the
// board's: a multi-constellation receiver at 10 Hz (about 140 lines a second
// from gpsd), and one set to RMC and GGA only, which gives gpsd no sky report.
// Every epoch is evaluated in order while the heartbeat keeps its beat, no
// clock sync is asked for, and the track points carry GGA's satellites and HDOP.

#include "../support/GpsFixture.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace
{
constexpr int kLeadMs = 2000;   // from making the drive to gpsfake playing its first epoch
constexpr int kDrainMs = 15000; // the last epochs may still be on their way
constexpr qint64 kMaxBeatGapMs = 2000;
constexpr double kSamePlaceM = 0.05;
} // namespace

class tst_GpsPace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (const char *why = GpsFixture::unavailable())
            QSKIP(why);
    }

    void init() { QFile::remove(QLatin1String(TestDaemon::kGpioFile)); }

    void everyEpochInTime_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("fromGga"); // no sky report: satellites and HDOP come from GGA
        QTest::newRow("multi-constellation, 10 Hz") << "multi" << 10 << 60 << false;
        QTest::newRow("RMC and GGA only, 1 Hz") << "minimal" << 1 << 40 << true;
    }

    // Index of the epoch of the drive in that second at that place, from `from` on; -1 if none.
    static int epochOf(const TestDrive &drive, const CGpsPoint &p, int from)
    {
        const qint64 second = p.dateTime.toMSecsSinceEpoch() / 1000 * 1000;
        for (int i = std::max(0, from); i < drive.epochs().size(); ++i) {
            const TestDrive::Epoch &e = drive.epochs().at(i);
            if (e.utcMs / 1000 * 1000 == second &&
                TestDrive::metresBetween(p.latitude, p.longitude, e.latitude, e.longitude) <= kSamePlaceM)
                return i;
        }
        return -1;
    }

    void everyEpochInTime()
    {
        QFETCH(QString, profile);
        QFETCH(int, rate);
        QFETCH(int, seconds);
        QFETCH(bool, fromGga);
        // situation: time check on, a track point every 5 s; out of the yard into town
        GpsFixture f;
        QVERIFY2(f.startSystem(
                     {{QStringLiteral("setSetupGps"), GpsFixture::gpsSetup(1, true)},
                      {QStringLiteral("setSetupGpsTracking"), GpsFixture::trackingSetup(2, 5, 1000, 10)}}),
                 qPrintable(f.error));
        const qint64 startMs = (QDateTime::currentMSecsSinceEpoch() + kLeadMs) / 1000 * 1000;
        TestDrive drive;
        QVERIFY2(drive.generate({"--profile", profile, "--rate", QString::number(rate), "--skip", "60",
                                 "--duration", QString::number(60 + seconds), "--start",
                                 QDateTime::fromMSecsSinceEpoch(startMs, Qt::UTC).toString(Qt::ISODate)},
                                0, seconds * rate),
                 qPrintable(drive.error()));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("drive.nmea"));
        int sentences = 0;
        for (const TestDrive::Epoch &e : drive.epochs())
            sentences += int(e.sentences.size());
        // Real time: the receiver sends as many sentences a second as it has.
        QVERIFY(drive.write(path));
        QVERIFY2(f.playFile(path, double(seconds) / sentences), qPrintable(f.error));
        // The event loop alone while the drive plays, so the beats are stamped when they come.
        GpsFixture::waitUntil([] { return false; }, seconds * 1000 + kDrainMs);

        // expected: a fix handed on for every epoch of every whole second after the first fix
        const QList<GpsFixture::Fix> fixes = f.fixes();
        QVERIFY2(!fixes.isEmpty(), "no fix handed on");
        QHash<qint64, int> perSecond;
        qint64 previous = 0;
        for (const GpsFixture::Fix &fix : fixes) {
            QVERIFY2(fix.gpsMs >= previous, "fixes handed on out of order");
            previous = fix.gpsMs;
            ++perSecond[fix.gpsMs];
        }
        const qint64 lastMs = drive.epochs().last().utcMs / 1000 * 1000;
        for (qint64 ms = fixes.first().gpsMs + 1000; ms < lastMs; ms += 1000)
            QVERIFY2(perSecond.value(ms) >= rate,
                     qPrintable(QStringLiteral("%1 fixes in the second %2 s into the drive")
                                    .arg(perSecond.value(ms))
                                    .arg((ms - startMs) / 1000)));

        // every point published belongs to a later epoch than the one before, and
        // from the first on every epoch in which the truck moved was published
        int index = -1;
        QSet<int> publishedEpochs;
        for (const GpsFixture::Published &p : f.published()) {
            const int at = epochOf(drive, p.point, index + 1);
            QVERIFY2(at > index,
                     qPrintable(QStringLiteral("a point published out of order after epoch %1").arg(index)));
            index = at;
            publishedEpochs.insert(at);
        }
        QVERIFY2(!publishedEpochs.isEmpty(), "nothing published");
        for (int i = *std::min_element(publishedEpochs.cbegin(), publishedEpochs.cend()) + 1;
             i < drive.epochs().size(); ++i) {
            const TestDrive::Epoch &e = drive.epochs().at(i), &before = drive.epochs().at(i - 1);
            if (TestDrive::metresBetween(e.latitude, e.longitude, before.latitude, before.longitude) >
                kSamePlaceM)
                QVERIFY2(publishedEpochs.contains(i),
                         qPrintable(QStringLiteral("epoch %1 not published").arg(i)));
        }

        // the heartbeat kept its beat, and the receiver's clock never counted as wrong
        const auto beats = f.peer->seen(QStringLiteral("sigTrigger"));
        QVERIFY(beats.size() >= seconds);
        for (int i = 1; i < beats.size(); ++i)
            QVERIFY2(beats.at(i).wallMs - beats.at(i - 1).wallMs < kMaxBeatGapMs,
                     qPrintable(QStringLiteral("%1 ms without a heartbeat")
                                    .arg(beats.at(i).wallMs - beats.at(i - 1).wallMs)));
        QCOMPARE(int(f.peer->seen(QStringLiteral("sigSyncTime")).size()), 0);

        // the track points carry the satellites and the rounded HDOP the receiver sent
        const QList<CLogTracking> points = f.trackPoints();
        QVERIFY2(points.size() >= seconds / 5 - 2, qPrintable(QString::number(points.size())));
        for (const CLogTracking &t : points) {
            const int at = epochOf(drive, t.oGpsPoint, 0);
            QVERIFY(at >= 0);
            if (fromGga) {
                QCOMPARE(t.oGpsPoint.satellites, drive.epochs().at(at).satellites);
                QCOMPARE(t.oGpsPoint.hdop, std::round(drive.epochs().at(at).hdop));
            }
        }
    }
};

VORLAN_SYSTEM_TEST_MAIN(tst_GpsPace, 600000)
#include "tst_gps_pace.moc"
