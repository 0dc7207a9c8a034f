// vorlanctl against the real store on a private bus, with the test playing
// the daemon's part: what the setup commands store, status, start, watch, the
// logbook in two languages and as JSON, and the GPX export.

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "logbook/ELogSubType.h"
#include "records/CRecordStream.h"
#include "tests/support/RecordBytes.h"
#include "tests/support/SystemFixture.h"
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace
{
const QString kSampleRoot = QStringLiteral(VORLAN_SOURCE_DIR "/data/translations");
constexpr int kDaemonPid = 31337;
constexpr int kBeatMs = 200;
constexpr int kRunTimeoutMs = 15000;
constexpr int kGiveUpMs = 5000;
constexpr int kDrivePoints = 40;
constexpr int kLostAfterPoint = 19; // data lost after this point, back before the next
} // namespace

class tst_Vorlanctl : public QObject
{
    Q_OBJECT
public slots:
    void onGetName(int, int iAppID)
    {
        if (iAppID == kDaemonPid)
            m_system.peer->emitSignal(QStringLiteral("sigSendName"), {kDaemonPid, QByteArray("GPS1")});
    }

private:
    SystemFixture m_system; // its peer plays the daemon
    QTemporaryDir m_dir;
    QTimer m_heartbeat;
    qint64 m_ctlPid = 0;
    QString m_out;
    QString m_err;
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
    // Runs vorlanctl while this test's event loop keeps playing the daemon.
    int run(const QStringList &arguments, const std::function<void()> &whileRunning = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        QProcess ctl;
        ctl.setProcessEnvironment(env);
        ctl.start(QStringLiteral(VORLAN_BINARY_DIR "/ctl/vorlanctl"),
                  QStringList{"--bus", m_system.bus.unixAddress()} + arguments);
        m_ctlPid = ctl.waitForStarted() ? ctl.processId() : 0;
        for (QDeadlineTimer deadline(kRunTimeoutMs);
             ctl.state() != QProcess::NotRunning && !deadline.hasExpired(); QTest::qWait(50))
            if (whileRunning)
                whileRunning();
        if (ctl.state() != QProcess::NotRunning) {
            ctl.kill();
            ctl.waitForFinished();
            return -1;
        }
        m_out = QString::fromUtf8(ctl.readAllStandardOutput());
        m_err = QString::fromUtf8(ctl.readAllStandardError());
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
        QVERIFY(m_system.peer->bus().connect(QString(), QString(), QStringLiteral("com.Brask.Vorlan.Signals"),
                                             QStringLiteral("sigGetName"), this, SLOT(onGetName(int, int))));
        connect(&m_heartbeat, &QTimer::timeout, this,
                [this] { m_system.peer->emitSignal(QStringLiteral("sigTrigger"), {kDaemonPid}); });
    }
    void init()
    {
        m_heartbeat.stop();
        m_system.peer->clear();
        call(QStringLiteral("reset"));
    }
    void setupCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QString gps = QStringLiteral("SetupGps"), tracking = QStringLiteral("SetupGpsTracking");
        const auto row = [](const char *args, const QString &name, const QByteArray &before,
                            const QByteArray &after) {
            QTest::newRow(args) << QString::fromLatin1(args).split(' ') << name << before << after;
        };
        row("gps off", gps, gpsSetup(1, true), gpsSetup(1, false)); // keeps time sync
        row("gps on", gps, QByteArray(), gpsSetup(0, true));
        row("timesync on", gps, gpsSetup(0, false), gpsSetup(1, false));
        row("tracking time 60", tracking, QByteArray(), trackingSetup(2, 60, 100, 5));
        row("tracking distance 250", tracking, trackingSetup(2, 60, 100, 5), trackingSetup(3, 60, 250, 5));
        row("tracking speed 30", tracking, QByteArray(), trackingSetup(4, 10, 100, 30));
        row("tracking speed 30 --interval 5", tracking, QByteArray(), trackingSetup(4, 5, 100, 30));
        row("tracking off", tracking, trackingSetup(3, 60, 250, 5), trackingSetup(0, 60, 250, 5));
    }
    void setupCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, name);
        QFETCH(QByteArray, before);
        if (!before.isEmpty())
            store("set" + name, before);
        QCOMPARE(run(arguments), 0);
        QTEST(call("get" + name).toByteArray(), "after");
        // Stored under vorlanctl's own process number, so the daemon refetches.
        const QStringList log = call(QStringLiteral("callLog")).toStringList().filter(" set" + name + ' ');
        QCOMPARE(log.size(), before.isEmpty() ? 1 : 2);
        QCOMPARE(log.last().section(QLatin1Char(' '), 2, 4),
                 QStringLiteral("set%1 %2 1").arg(name).arg(m_ctlPid));
    }
    void statusAndStart()
    {
        store(QStringLiteral("setSetupGps"), gpsSetup(1, false));
        store(QStringLiteral("setSetupGpsTracking"), trackingSetup(2, 60, 100, 5));
        m_heartbeat.start(kBeatMs);
        QCOMPARE(run({QStringLiteral("status")}), 0);
        QVERIFY2(m_out.contains(QStringLiteral("heartbeat from pid %1").arg(kDaemonPid)), qPrintable(m_out));
        QVERIFY(m_out.contains(QLatin1String("name:      \"GPS1\"")));
        QVERIFY(m_out.contains(QLatin1String("gps setup: GPS off, time sync on")));
        QVERIFY(m_out.contains(QLatin1String("tracking:  by time, every 60 s")));
        // start: to the daemon that beats, or to the one named.
        const auto lastStart = [this] {
            return m_system.peer->seen(QStringLiteral("sigProcessStart")).last().arguments;
        };
        QCOMPARE(run({QStringLiteral("start")}), 0);
        QVERIFY(m_system.peer->waitFor(QStringLiteral("sigProcessStart"), 1, kGiveUpMs));
        QCOMPARE(lastStart(), QVariantList({int(m_ctlPid), kDaemonPid}));
        m_heartbeat.stop();
        QCOMPARE(run({"start", "--pid", "999"}), 0);
        QVERIFY(m_system.peer->waitFor(QStringLiteral("sigProcessStart"), 2, kGiveUpMs));
        QCOMPARE(lastStart(), QVariantList({int(m_ctlPid), 999}));
        QCOMPARE(run({QStringLiteral("status")}), 3);
        QVERIFY(m_out.contains(QLatin1String("no heartbeat")));
    }
    void watch()
    {
        CGpsPoint point;
        point.latitude = 48.5;
        point.longitude = 11.25;
        point.altitude = 512.7;
        point.speed = 54.9;
        point.track = 359.99;
        point.satellites = 12;
        point.hdop = 1.0;
        point.dateTime = CDateTime::fromUtc(QDate(2020, 5, 17), QTime(8, 9, 10));
        const QByteArray time = CRecordStream::bytesOf(CDateTime::fromUtc(QDate(2021, 3, 4), QTime(5, 6, 7)));
        const auto sendBoth = [&] {
            m_system.peer->emitSignal(QStringLiteral("sigActualGpsData"), {kDaemonPid, point.toBytes()});
            m_system.peer->emitSignal(QStringLiteral("sigSyncTime"), {kDaemonPid, 1, time});
        };
        QCOMPARE(run({"watch", "--count", "4"}, sendBoth), 0);
        QVERIFY2(m_out.contains(QStringLiteral(
                     "sigActualGpsData iProcess=31337 lat=48.500000 lon=11.250000 alt=512.7m speed=54.9km/h "
                     "track=359.99deg sats=12 hdop=1.0 status=0 time=2020-05-17 08:09:10.000 UTC")),
                 qPrintable(m_out));
        QVERIFY(m_out.contains(
            QLatin1String("sigSyncTime iProcess=31337 iType=1 time=2021-03-04 05:06:07.000 UTC")));
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
        const QStringList german = logbook(QStringLiteral("de"));
        QCOMPARE(german.size(), entries);
        QVERIFY(QDateTime::fromString(german[0].left(19), "dd.MM.yyyy HH:mm:ss").isValid());
        QCOMPARE(QStringList({german[0].mid(21), german[2].mid(21), german[kLostAfterPoint + 3].mid(21)}),
                 QStringList({"GPS eingeschaltet",
                              QStringLiteral("Trackpunkt  GPS-Zeit 02.03.2026 06:00:10  Breite 48.100400  "
                                             "L\u00e4nge 11.500600  Geschwindigkeit 2.4 km/h"),
                              QStringLiteral("GPS-Daten wieder verf\u00fcgbar")}));
        QCOMPARE(run({"logbook", "--json", "--web-root", kSampleRoot, "--lang", "en"}), 0);
        const QJsonArray array = QJsonDocument::fromJson(m_out.toUtf8()).array();
        const QJsonObject point = array.at(1).toObject();
        QCOMPARE(array.size(), entries);
        QCOMPARE(point["name"].toString(), QStringLiteral("Track point"));
        QCOMPARE(point["level"].toInt(), 99);
        QCOMPARE(point["values"].toArray().at(1).toString(), QStringLiteral("lat 48.100000"));
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
