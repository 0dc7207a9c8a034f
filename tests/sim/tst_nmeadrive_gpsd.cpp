#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace
{
const double EarthRadiusM = 6378137.0;
const double Rad = 0.017453292519943295;
const quint16 FirstPort = 29470;
const int PortSpread = 500;
const char Cycle[] = "0.01"; // s per sentence: a 60 s drive plays in about 5 s
const int ConnectTimeoutMs = 10000;
const int ReplayTimeoutMs = 40000;
const int QuietTimeoutMs = 5000;

struct Truth {
    double lat, lon, kmh, course;
    bool fix;
};

double haversineM(double lat1, double lon1, double lat2, double lon2)
{
    const double a =
        std::pow(std::sin((lat2 - lat1) * Rad / 2), 2) +
        std::cos(lat1 * Rad) * std::cos(lat2 * Rad) * std::pow(std::sin((lon2 - lon1) * Rad / 2), 2);
    return 2 * std::atan2(std::sqrt(a), std::sqrt(1 - a)) * EarthRadiusM;
}

quint16 freeLoopbackPort()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        const quint16 port = quint16(FirstPort + QRandomGenerator::global()->bounded(PortSpread));
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port))
            return port;
    }
    return 0;
}

// gpsfake ends gpsd on SIGTERM but may then hang itself; it gets a
// moment for that and is killed afterwards, also when a check fails.
void stopReplay(QProcess *process)
{
    if (process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(1500)) {
        process->kill();
        process->waitForFinished(3000);
    }
}

struct ReplayGuard {
    QProcess *process;
    ~ReplayGuard() { stopReplay(process); }
};
} // namespace

class TestNmeaDriveGpsd : public QObject
{
    Q_OBJECT

private slots:
    void gpsdReportsTheGeneratedFixes();
};

void TestNmeaDriveGpsd::gpsdReportsTheGeneratedFixes()
{
    const QStringList sbin{"/usr/sbin", "/usr/local/sbin", "/sbin"};
    const QString gpsfake = QStandardPaths::findExecutable(QStringLiteral("gpsfake"));
    QString gpsd = QStandardPaths::findExecutable(QStringLiteral("gpsd"));
    if (gpsd.isEmpty())
        gpsd = QStandardPaths::findExecutable(QStringLiteral("gpsd"), sbin);
    if (gpsfake.isEmpty() || gpsd.isEmpty())
        QSKIP("gpsfake or gpsd is not installed");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString nmea = dir.filePath(QStringLiteral("drive.nmea"));
    const QString truthPath = dir.filePath(QStringLiteral("drive.tsv"));
    QCOMPARE(QProcess::execute(QStringLiteral(NMEA_DRIVE_EXE),
                               {"--duration", "60", "--nofix", "40:5", "-o", nmea, "--truth", truthPath}),
             0);
    QFile truthFile(truthPath);
    QVERIFY(truthFile.open(QIODevice::ReadOnly));
    QHash<qint64, Truth> truth;
    for (const QByteArray &line : truthFile.readAll().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (!line.startsWith('#') && f.size() >= 7)
            truth.insert(
                QDateTime::fromString(QString::fromLatin1(f[0]), Qt::ISODateWithMs).toMSecsSinceEpoch(),
                {f[1].toDouble(), f[2].toDouble(), f[4].toDouble(), f[5].toDouble(), f[6] == "1"});
    }
    QCOMPARE(truth.size(), 60);
    const qint64 firstMs = *std::min_element(truth.keyBegin(), truth.keyEnd());

    const quint16 port = freeLoopbackPort();
    QVERIFY(port != 0);
    QProcess replay;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), dir.path()); // gpsfake's control socket
    env.insert(QStringLiteral("PATH"), QFileInfo(gpsd).absolutePath() + QLatin1Char(':') + env.value("PATH"));
    replay.setProcessEnvironment(env);
    const QString errPath = dir.filePath(QStringLiteral("gpsfake.err"));
    replay.setStandardOutputFile(QProcess::nullDevice());
    replay.setStandardErrorFile(errPath); // gpsd complains about the missing system bus
    auto replayLog = [&errPath]() {
        QFile err(errPath);
        return err.open(QIODevice::ReadOnly) ? err.readAll() : QByteArray();
    };
    ReplayGuard guard{&replay};
    replay.start(gpsfake, {"-1", "-q", "-c", Cycle, "-P", QString::number(port), nmea});
    QVERIFY(replay.waitForStarted());

    QTcpSocket socket;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() != QAbstractSocket::ConnectedState && clock.elapsed() < ConnectTimeoutMs) {
        QVERIFY2(replay.state() == QProcess::Running, replayLog().constData());
        socket.abort();
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(200))
            QTest::qWait(50);
    }
    QVERIFY2(socket.state() == QAbstractSocket::ConnectedState, replayLog().constData());
    socket.write("?WATCH={\"enable\":true,\"json\":true};\n");

    QSet<qint64> fixes;
    int noFixReports = 0;
    qint64 lastTime = 0;
    QElapsedTimer quiet;
    quiet.start();
    while (clock.elapsed() < ReplayTimeoutMs && quiet.elapsed() < QuietTimeoutMs && lastTime < 59) {
        if (!socket.canReadLine() && !socket.waitForReadyRead(200))
            continue;
        while (socket.canReadLine()) {
            const QJsonObject tpv = QJsonDocument::fromJson(socket.readLine()).object();
            if (tpv.value("class").toString() != QLatin1String("TPV") || !tpv.contains("time"))
                continue;
            quiet.restart();
            const qint64 ms =
                QDateTime::fromString(tpv.value("time").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
            QVERIFY2(truth.contains(ms), qPrintable(tpv.value("time").toString()));
            const Truth &t = truth[ms];
            lastTime = std::max(lastTime, (ms - firstMs) / 1000);
            const int mode = tpv.value("mode").toInt();
            if (!t.fix) {
                QVERIFY2(mode <= 1, qPrintable(tpv.value("time").toString()));
                ++noFixReports;
                continue;
            }
            if (mode < 2 || !tpv.contains("lat") || !tpv.contains("speed"))
                continue; // gpsd reports parts of an epoch before it has all of it
            const double offM =
                haversineM(t.lat, t.lon, tpv.value("lat").toDouble(), tpv.value("lon").toDouble());
            QVERIFY2(offM < 0.02, qPrintable(QString::number(offM)));
            // gpsd writes the speed with three decimals of m/s.
            QVERIFY(std::fabs(tpv.value("speed").toDouble() * 3.6 - t.kmh) < 0.002);
            QVERIFY(std::fabs(std::remainder(tpv.value("track").toDouble() - t.course, 360.0)) < 0.01);
            fixes.insert(ms);
        }
    }
    // Epochs that play before the client is connected are lost; the rest arrive.
    QVERIFY2(fixes.size() >= 35, qPrintable(QString::number(fixes.size())));
    QVERIFY(noFixReports >= 1);
    QVERIFY(lastTime >= 59);

    // gpsd goes with gpsfake: nothing may keep the port.
    socket.abort();
    stopReplay(&replay);
    QTcpServer probe;
    for (int attempt = 0; attempt < 30 && !probe.listen(QHostAddress::LocalHost, port); ++attempt)
        QTest::qWait(100);
    QVERIFY2(probe.isListening(), "gpsd still holds the port");
}

QTEST_GUILESS_MAIN(TestNmeaDriveGpsd)
#include "tst_nmeadrive_gpsd.moc"
