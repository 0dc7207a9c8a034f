// vorlanctl against the real store on a private bus: the logbook as a person
// reads it and the GPX export of the track.

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"
#include "tests/support/SystemFixture.h"
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace
{
const QString kSampleRoot = QStringLiteral(VORLAN_SOURCE_DIR "/data/translations");
constexpr int kRunTimeoutMs = 15000;
constexpr int kDrivePoints = 40;
constexpr int kLostAfterPoint = 19; // data lost after this point, back before the next
} // namespace

class tst_Vorlanctl : public QObject
{
    Q_OBJECT
private:
    SystemFixture m_system; // its peer plays the daemon
    QTemporaryDir m_dir;
    QString m_out;
    QVariant call(const QString &member, const QVariantList &args = {})
    {
        return TestStore::call(m_system.peer->bus(), member, args).arguments().value(0);
    }
    // The store stamps entries to the millisecond, and events and points are
    // ordered by those stamps: each call waits a little afterwards.
    void store(const QString &member, const QByteArray &bytes, unsigned long pauseMs = 2)
    {
        QCOMPARE(call(member, {1, bytes}).toInt(), 1);
        QThread::msleep(pauseMs);
    }
    void storeEvent(int subType, unsigned long pauseMs = 2)
    {
        CLogGps entry;
        entry.iSubType = subType;
        store(QStringLiteral("setLogbookGPS"), entry.serialize(), pauseMs);
    }
    // North-east out of town, 10 s between points, from standing to 95 km/h.
    void storeDrive()
    {
        storeEvent(GPS_Enabled);
        for (int i = 0; i < kDrivePoints; ++i) {
            CLogTracking entry;
            entry.iSubType = GPS_Data;
            CGpsPoint &point = entry.oGpsPoint;
            point.latitude = 48.1 + i * 0.0004;
            point.longitude = 11.5 + i * 0.0006;
            point.altitude = 520.0 + i;
            point.speed = i * 95.0 / (kDrivePoints - 1);
            point.track = 45.0;
            point.satellites = 9;
            point.hdop = 0.9;
            point.dateTime = CDateTime::fromUtc(QDate(2026, 3, 2), QTime(6, 0, 0).addSecs(10 * i));
            store(QStringLiteral("setLogbookDataTracking"), entry.serialize());
            if (i == kLostAfterPoint) {
                storeEvent(GPS_NoData, 300); // far in time from both neighbours
                storeEvent(GPS_ValidData);
            }
        }
        storeEvent(GPS_Disabled);
    }
    int run(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        QProcess ctl;
        ctl.setProcessEnvironment(env);
        ctl.start(QStringLiteral(VORLAN_BINARY_DIR "/ctl/vorlanctl"),
                  QStringList{"--bus", m_system.bus.unixAddress()} + arguments);
        ctl.waitForStarted();
        if (!ctl.waitForFinished(kRunTimeoutMs)) {
            ctl.kill();
            ctl.waitForFinished();
            return -1;
        }
        m_out = QString::fromUtf8(ctl.readAllStandardOutput());
        return ctl.exitCode();
    }
    QStringList logbook(const QString &language, const QStringList &more = {})
    {
        run(QStringList{"logbook", "--web-root", kSampleRoot, "--lang", language} + more);
        return m_out.split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_dir.isValid() && m_system.startBus() && m_system.startStore(), qPrintable(m_system.error));
    }
    // The logbook: a line per entry, time first, in the language asked for.
    // The track: GPX valid against the schema, a new segment after the loss.
    void storedDrive()
    {
        storeDrive();
        const int entries = kDrivePoints + 4;
        const QStringList english = logbook(QStringLiteral("en"));
        QCOMPARE(english.size(), entries);
        QVERIFY(QDateTime::fromString(english[0].left(19), "yyyy-MM-dd HH:mm:ss").isValid());
        QCOMPARE(
            QStringList({english[0].mid(21), english[1].mid(21), english[kLostAfterPoint + 2].mid(21),
                         english.last().mid(21)}),
            QStringList(
                {"GPS switched on",
                 "Track point  GPS time 2026-03-02 06:00:00  lat 48.100000  lon 11.500000  speed 0.0 km/h",
                 "GPS data lost", "GPS switched off"}));
        QCOMPARE(logbook(QStringLiteral("en"), {"--last", "2"}), english.mid(entries - 2));
        const QString gpx = m_dir.filePath(QStringLiteral("drive.gpx"));
        QCOMPARE(run({"export", "--gpx", gpx}), 0);
        QVERIFY2(m_out.contains(QStringLiteral("GPX: %1 track points in 2 segments").arg(kDrivePoints)),
                 qPrintable(m_out));
        QFile gpxFile(gpx);
        QVERIFY(gpxFile.open(QIODevice::ReadOnly));
        const QByteArray gpxBytes = gpxFile.readAll();
        const QString text = QString::fromUtf8(gpxBytes).replace(QRegularExpression(QStringLiteral(">\\s+<")),
                                                                 QStringLiteral("><"));
        QCOMPARE(text.count(QLatin1String("<trkpt ")), kDrivePoints);
        QCOMPARE(text.count(QLatin1String("<trkseg>")), 2);
        QVERIFY(text.contains(QLatin1String( // 10 s into the drive
            "<trkpt lat=\"48.100400\" "
            "lon=\"11.500600\"><ele>521.0</ele><time>2026-03-02T06:00:10Z</time><sat>9</sat>"
            "<hdop>0.9</hdop><extensions><vorlan:speed>2.4</vorlan:speed><vorlan:course>45.00</vorlan:course>"
            "</extensions></trkpt>")));
        const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
        if (xmllint.isEmpty())
            QSKIP("xmllint (libxml2-utils) is not installed");
        QProcess lint;
        lint.start(xmllint,
                   {"--noout", "--schema", VORLAN_SOURCE_DIR "/tests/ctl/data/gpx-1.1-subset.xsd", "-"});
        lint.write(gpxBytes);
        lint.closeWriteChannel();
        QVERIFY(lint.waitForFinished(kRunTimeoutMs) && lint.exitStatus() == QProcess::NormalExit &&
                lint.exitCode() == 0);
    }
};

QTEST_GUILESS_MAIN(tst_Vorlanctl)
#include "tst_vorlanctl.moc"
