// A generated drive of each receiver profile through gpsfake and gpsd: gpsd
// reports the truth's positions, speeds and courses, no fix in the no-fix
// window, and sky reports unless the receiver sends no satellite sentences.

#include "logbook/CTracking.h"
#include "tests/support/TestDrive.h"
#include "tests/support/TestGpsd.h"
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace
{
constexpr int kDriveSeconds = 60;
constexpr int kTimeoutMs = 40000;
} // namespace

class TestNmeaDriveGpsd : public QObject
{
    Q_OBJECT

private slots:
    void gpsdReportsTheGeneratedFixes_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<double>("cycleSec"); // per sentence: each drive plays in about 6 s
        QTest::addColumn<bool>("sky");
        QTest::newRow("gps") << "gps" << 0.01 << true;
        QTest::newRow("multi") << "multi" << 0.003 << true;
        QTest::newRow("minimal") << "minimal" << 0.05 << false;
    }
    void gpsdReportsTheGeneratedFixes()
    {
        QFETCH(QString, profile);
        QFETCH(double, cycleSec);
        QFETCH(bool, sky);
        if (!TestGpsd::isInstalled())
            QSKIP("gpsfake or gpsd is not installed");
        QTemporaryDir dir;
        TestDrive drive;
        const QString nmea = dir.filePath(QStringLiteral("drive.nmea"));
        const QStringList args{"--duration", QString::number(kDriveSeconds), "--nofix", "40:5", "--profile",
                               profile};
        QVERIFY2(drive.generate(args, 0, kDriveSeconds) && drive.write(nmea), qPrintable(drive.error()));
        TestGpsd gpsd;
        QVERIFY2(gpsd.start(nmea, cycleSec), qPrintable(gpsd.error()));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, TestGpsd::kPort);
        QVERIFY(socket.waitForConnected(kTimeoutMs));
        socket.write("?WATCH={\"enable\":true,\"json\":true};\n");
        QSet<qint64> fixes;
        int noFixReports = 0, skyReports = 0;
        qint64 lastMs = 0;
        const qint64 endMs = drive.epochs().last().utcMs;
        for (QDeadlineTimer deadline(kTimeoutMs); !deadline.hasExpired() && lastMs < endMs;) {
            if (!socket.canReadLine() && !socket.waitForReadyRead(200))
                continue;
            const QJsonObject tpv = QJsonDocument::fromJson(socket.readLine()).object();
            skyReports += tpv.value("class").toString() == QLatin1String("SKY") ? 1 : 0;
            if (tpv.value("class").toString() != QLatin1String("TPV") || !tpv.contains("time"))
                continue;
            const QString time = tpv.value("time").toString();
            const qint64 ms = QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch();
            QVERIFY2(drive.indexAt(ms) >= 0, qPrintable(time));
            const TestDrive::Epoch &t = drive.epochs().at(drive.indexAt(ms));
            lastMs = std::max(lastMs, ms);
            if (!t.fix) {
                QVERIFY2(tpv.value("mode").toInt() <= 1, qPrintable(time));
                ++noFixReports;
            } else if (tpv.value("mode").toInt() >= 2 && tpv.contains("lat") && tpv.contains("speed")) {
                // gpsd reports parts of an epoch before it has all of it; speed in mm/s.
                QVERIFY(CTracking::distanceMetres(t.latitude, t.longitude, tpv.value("lat").toDouble(),
                                                  tpv.value("lon").toDouble()) < 0.02);
                QVERIFY(std::fabs(tpv.value("speed").toDouble() * 3.6 - t.kmh) < 0.002);
                QVERIFY(std::fabs(std::remainder(tpv.value("track").toDouble() - t.course, 360.0)) < 0.01);
                fixes.insert(ms);
            }
        }
        // Epochs played before the client connected are lost.
        QVERIFY2(fixes.size() >= 35, qPrintable(QString::number(fixes.size())));
        QVERIFY(noFixReports >= 1);
        QCOMPARE(lastMs, endMs);
        QCOMPARE(skyReports > 0, sky);
    }
};

QTEST_GUILESS_MAIN(TestNmeaDriveGpsd)
#include "tst_nmeadrive_gpsd.moc"
