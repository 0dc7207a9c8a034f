// Receivers as they are sold today, played in real time through gpsd into the
// daemon with the time check on and a receiver clock that agrees with the
// board's: a multi-constellation receiver at 10 Hz (about 140 lines a second
// from gpsd), and one set to RMC and GGA only, which gives gpsd no sky report.
// Every epoch is evaluated in order while the heartbeat keeps its beat, no
// clock sync is asked for, and the track points carry GGA's satellites and HDOP.
// Also: a receiver that uses only three satellites (no HDOP at all), and the
// offline tracking replay (vorlanctl fidelity) predicting what the daemon stores.

#include "../support/GpsFixture.h"
#include "../support/RecordBytes.h"
#include "logbook/CTracking.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <cmath>

namespace
{
constexpr int kLeadMs = 2000;   // from making the drive to gpsfake playing its first epoch
constexpr int kDrainMs = 15000; // the last epochs may still be on their way
constexpr qint64 kMaxBeatGapMs = 2000;
constexpr double kSamePlaceM = 0.05;

// A sentence as a receiver sends it that uses only three satellites: GGA
// with three and no HDOP, GSA with the first three and no dilutions.
QByteArray threeSatellites(const QByteArray &sentence)
{
    const int star = sentence.indexOf('*');
    QList<QByteArray> f = sentence.mid(1, star - 1).split(',');
    if (f[0].endsWith("GGA") && f.size() > 8) {
        f[7] = "03";
        f[8].clear();
    } else if (f[0].endsWith("GSA") && f.size() > 17) {
        for (int i = 6; i <= 17; ++i)
            f[i].clear();
    } else {
        return sentence;
    }
    const QByteArray body = f.join(',');
    char sum = 0;
    for (const char c : body)
        sum ^= c;
    return '$' + body + '*' + QByteArray::number(quint8(sum), 16).toUpper().rightJustified(2, '0');
}

// The delivery round from 75 s on (out of the yard, a junction, into town),
// starting on the board's clock, written as the receiver sends it.
bool realTimeDrive(const QStringList &options, const QString &nmea, const QString &truth, int seconds,
                   const std::function<QByteArray(const QByteArray &)> &edit, QString *error)
{
    const qint64 startMs = (QDateTime::currentMSecsSinceEpoch() + kLeadMs) / 1000 * 1000;
    QProcess run;
    run.start(TestDrive::generator(),
              options + QStringList{"--skip", "75", "--duration", QString::number(75 + seconds), "--start",
                                    QDateTime::fromMSecsSinceEpoch(startMs, Qt::UTC).toString(Qt::ISODate),
                                    "-o", nmea, "--truth", truth});
    QFile file(nmea);
    if (!run.waitForFinished(30000) || run.exitCode() != 0 || !file.open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("drive not generated: ") + QString::fromUtf8(run.readAllStandardError());
        return false;
    }
    QByteArray edited;
    for (const QByteArray &line : file.readAll().split('\n'))
        edited += (line.startsWith('$') ? edit(line.trimmed()) : line) + '\n';
    file.resize(0);
    file.write(edited.trimmed() + '\n');
    return true;
}

double realTimeCycle(const QString &nmea)
{
    QFile file(nmea);
    file.open(QIODevice::ReadOnly);
    return QRegularExpression(QStringLiteral("real time with -c ([0-9.]+)"))
        .match(QString::fromLatin1(file.read(1024)))
        .captured(1)
        .toDouble();
}
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
                CTracking::distanceMetres(p.latitude, p.longitude, e.latitude, e.longitude) <= kSamePlaceM)
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
        QVERIFY2(f.startSystem({{QStringLiteral("setSetupGps"), gpsSetup(1, true)},
                                {QStringLiteral("setSetupGpsTracking"), trackingSetup(2, 5, 1000, 10)}}),
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
            if (CTracking::distanceMetres(e.latitude, e.longitude, before.latitude, before.longitude) >
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

    void threeSatellitesWithoutHdop()
    {
        // situation: gpsd reports 3D fixes and a sky report with three satellites, no HDOP
        GpsFixture f;
        QVERIFY2(f.startSystem({{QStringLiteral("setSetupGpsTracking"), trackingSetup(2, 5, 0, 0)}}),
                 qPrintable(f.error));
        QTemporaryDir dir;
        const QString nmea = dir.filePath(QStringLiteral("drive.nmea"));
        QString error;
        QVERIFY2(realTimeDrive({"--sentences", "RMC,GGA,GSA,GSV"}, nmea,
                               dir.filePath(QStringLiteral("truth")), 20, threeSatellites, &error),
                 qPrintable(error));
        QVERIFY2(f.playFile(nmea, realTimeCycle(nmea)), qPrintable(f.error));
        GpsFixture::waitUntil([&f] { return f.fixes().size() >= 12; }, 20000 + kDrainMs);

        // expected: every fix published and stored with HDOP 1000 and three satellites,
        // each logged as line 903 and none rounded (line 896)
        const QList<GpsFixture::Line> log = f.log();
        QVERIFY(f.fixes().size() >= 12);
        QCOMPARE(
            GpsFixture::timesOf(log, QStringLiteral("Line:  903 :  isfinite(gpsdata.dop.hdop) == 0 ")).size(),
            f.fixes().size());
        QVERIFY(GpsFixture::timesOf(log, QStringLiteral("Line:  896 ")).isEmpty());
        for (const GpsFixture::Published &p : f.published())
            QCOMPARE(QString::number(p.point.hdop) + '/' + QString::number(p.point.satellites),
                     QString("1000/3"));
        const QList<CLogTracking> points = f.trackPoints();
        QVERIFY(points.size() >= 2);
        for (const CLogTracking &t : points)
            QCOMPARE(QString::number(t.oGpsPoint.hdop) + '/' + QString::number(t.oGpsPoint.satellites),
                     QString("1000/3"));
    }

    void offlineReplayPredictsTheTrack()
    {
        // situation: tracking by distance, 40 m; the same drive to the daemon in real
        // time and, from the daemon's first fix on, to vorlanctl fidelity
        GpsFixture f;
        QVERIFY2(f.startSystem({{QStringLiteral("setSetupGpsTracking"), trackingSetup(3, 10, 40, 10)}}),
                 qPrintable(f.error));
        QTemporaryDir dir;
        const QString nmea = dir.filePath(QStringLiteral("drive.nmea"));
        const QString truth = dir.filePath(QStringLiteral("truth.tsv"));
        QString error;
        QVERIFY2(realTimeDrive(
                     {}, nmea, truth, 60, [](const QByteArray &s) { return s; }, &error),
                 qPrintable(error));
        QVERIFY2(f.playFile(nmea, realTimeCycle(nmea)), qPrintable(f.error));
        GpsFixture::waitUntil([] { return false; }, 60000 + kLeadMs + 3000);
        const QList<GpsFixture::Fix> fixes = f.fixes();
        QVERIFY(fixes.size() >= 50);

        QFile all(truth);
        QFile from(dir.filePath(QStringLiteral("from-first-fix.tsv")));
        QVERIFY(all.open(QIODevice::ReadOnly) && from.open(QIODevice::WriteOnly));
        const QByteArray firstFix = QDateTime::fromMSecsSinceEpoch(fixes.first().gpsMs, Qt::UTC)
                                        .toString(Qt::ISODateWithMs)
                                        .toLatin1();
        for (const QByteArray &line : all.readAll().split('\n'))
            if (line.startsWith('#') || line.left(firstFix.size()) >= firstFix)
                from.write(line + '\n');
        from.close();
        QProcess fidelity;
        fidelity.start(
            QStringLiteral(VORLAN_BINARY_DIR "/ctl/vorlanctl"),
            {"fidelity", from.fileName(), "--setup", "distance:40", "--points", dir.filePath("points")});
        QVERIFY(fidelity.waitForFinished(30000) && fidelity.exitCode() == 0);
        QFile predicted(dir.filePath(QStringLiteral("points")));
        QVERIFY(predicted.open(QIODevice::ReadOnly));
        QList<QList<QByteArray>> expected;
        for (const QByteArray &line : predicted.readAll().split('\n'))
            if (!line.isEmpty() && !line.startsWith('#'))
                expected << line.split('\t');

        // expected: the same points, at the same fixes and places
        const QList<CLogTracking> stored = f.trackPoints();
        QCOMPARE(stored.size(), expected.size());
        QVERIFY(stored.size() >= 5);
        for (int i = 0; i < stored.size(); ++i) {
            const CGpsPoint &p = stored.at(i).oGpsPoint;
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(p.dateTime.toMSecsSinceEpoch(), Qt::UTC)
                         .toString(Qt::ISODateWithMs),
                     QString::fromLatin1(expected.at(i).at(1)));
            QVERIFY(CTracking::distanceMetres(p.latitude, p.longitude, expected.at(i).at(2).toDouble(),
                                              expected.at(i).at(3).toDouble()) < 1.0);
        }
    }
};

VORLAN_SYSTEM_TEST_MAIN(tst_GpsPace, 600000)
#include "tst_gps_pace.moc"
