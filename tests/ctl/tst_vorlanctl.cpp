// vorlanctl against the real store on a private bus, with the test playing the daemon's part.

#include "TestStore.h"
#include "tests/support/TestBus.h"

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "records/CGpsPoint.h"
#include "records/CRecordStream.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace
{
const QString kSignals = QStringLiteral("com.Brask.Vorlan.Signals");
const QString kService = QStringLiteral("com.Brask.Vorlan");
constexpr int kDaemonPid = 31337;
constexpr int kBeatMs = 200;
constexpr int kRunTimeoutMs = 15000;
// Failing commands must give up well before a person would lose patience.
constexpr int kGiveUpMs = 5000;

QByteArray gpsSetup(bool enabled, int timeSync)
{
    CSetupGps record;
    record.bGpsEnabled = enabled;
    record.iTimeSync = timeSync;
    return record.serialize();
}

QByteArray trackingSetup(int status, int interval, int distance, int speed)
{
    CSetupGpsTracking record;
    record.eTrackingStatus = status;
    record.iInterval = interval;
    record.distance = distance;
    record.SpeedLevel = speed;
    return record.serialize();
}

CGpsPoint samplePoint()
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
    return point;
}
} // namespace

class tst_Vorlanctl : public QObject
{
    Q_OBJECT
public slots:
    void onGetName(int iProcess, int iAppID)
    {
        if (iAppID == kDaemonPid)
            emitSignal(QStringLiteral("sigSendName"), {kDaemonPid, QByteArray("GPS1")});
        Q_UNUSED(iProcess)
    }
    void onProcessStart(int iProcess, int iAppID) { m_starts << qMakePair(iProcess, iAppID); }

private:
    TestBus m_bus;
    TestStore *m_store = nullptr;
    QDBusConnection m_conn{QStringLiteral("none")};
    QTimer m_heartbeat;
    QList<QPair<int, int>> m_starts;
    qint64 m_ctlPid = 0;
    QString m_out;
    QString m_err;

    void emitSignal(const QString &member, const QVariantList &args)
    {
        QDBusMessage message = QDBusMessage::createSignal(QStringLiteral("/Signals"), kSignals, member);
        message.setArguments(args);
        m_conn.send(message);
    }
    QDBusMessage call(const QString &path, const QString &iface, const QString &member,
                      const QVariantList &args)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, path, iface, member);
        message.setArguments(args);
        return m_conn.call(message);
    }
    void store(const QString &name, const QByteArray &bytes)
    {
        const bool logbook = name.startsWith(QLatin1String("Logbook"));
        const QDBusMessage reply = call(logbook ? QStringLiteral("/Logbook") : QStringLiteral("/SetupData"),
                                        logbook ? QStringLiteral("com.Brask.Vorlan.Logbook")
                                                : QStringLiteral("com.Brask.Vorlan.Setup"),
                                        QStringLiteral("set") + name, {1, bytes});
        QCOMPARE(reply.arguments().value(0).toInt(), 1);
    }
    QByteArray stored(const QString &name)
    {
        return call(QStringLiteral("/SetupData"), QStringLiteral("com.Brask.Vorlan.Setup"),
                    QStringLiteral("get") + name, {})
            .arguments()
            .value(0)
            .toByteArray();
    }
    // Runs vorlanctl while this test's event loop keeps playing the daemon.
    int run(const QStringList &arguments, const QString &bus = QString(),
            const std::function<void()> &whileRunning = {})
    {
        QProcess ctl;
        ctl.start(QStringLiteral(VORLAN_BINARY_DIR "/ctl/vorlanctl"),
                  QStringList{QStringLiteral("--bus"), bus.isEmpty() ? m_bus.unixAddress() : bus} +
                      arguments);
        ctl.waitForStarted();
        m_ctlPid = ctl.processId();
        QElapsedTimer clock;
        clock.start();
        while (ctl.state() != QProcess::NotRunning && clock.elapsed() < kRunTimeoutMs) {
            if (whileRunning)
                whileRunning();
            QTest::qWait(50);
        }
        if (ctl.state() != QProcess::NotRunning) {
            ctl.kill();
            ctl.waitForFinished();
            return -1;
        }
        m_out = QString::fromLocal8Bit(ctl.readAllStandardOutput());
        m_err = QString::fromLocal8Bit(ctl.readAllStandardError());
        return ctl.exitCode();
    }
    QStringList callLog()
    {
        return call(QStringLiteral("/StoreControl"), QStringLiteral("com.Brask.Vorlan.StoreControl"),
                    QStringLiteral("callLog"), {})
            .arguments()
            .value(0)
            .toStringList();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
        m_store = new TestStore(m_bus.unixAddress());
        QVERIFY2(m_store->start(), qPrintable(m_store->error()));
        m_conn = QDBusConnection::connectToBus(m_bus.unixAddress(), QStringLiteral("daemon"));
        QVERIFY(m_conn.isConnected());
        QVERIFY(m_conn.connect(QString(), QString(), kSignals, QStringLiteral("sigGetName"), this,
                               SLOT(onGetName(int, int))));
        QVERIFY(m_conn.connect(QString(), QString(), kSignals, QStringLiteral("sigProcessStart"), this,
                               SLOT(onProcessStart(int, int))));
        connect(&m_heartbeat, &QTimer::timeout, this,
                [this] { emitSignal(QStringLiteral("sigTrigger"), {kDaemonPid}); });
    }
    void cleanup()
    {
        m_heartbeat.stop();
        m_starts.clear();
        call(QStringLiteral("/StoreControl"), QStringLiteral("com.Brask.Vorlan.StoreControl"),
             QStringLiteral("reset"), {});
    }
    void cleanupTestCase()
    {
        delete m_store;
        QDBusConnection::disconnectFromBus(QStringLiteral("daemon"));
    }

    void setupCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QString gps = QStringLiteral("SetupGps");
        const QString tracking = QStringLiteral("SetupGpsTracking");
        QTest::newRow("gps off keeps time sync")
            << QStringList{"gps", "off"} << gps << gpsSetup(true, 1) << gpsSetup(false, 1);
        QTest::newRow("gps on from nothing")
            << QStringList{"gps", "on"} << gps << QByteArray() << gpsSetup(true, 0);
        QTest::newRow("timesync on keeps gps")
            << QStringList{"timesync", "on"} << gps << gpsSetup(false, 0) << gpsSetup(false, 1);
        QTest::newRow("tracking time") << QStringList{"tracking", "time", "60"} << tracking << QByteArray()
                                       << trackingSetup(2, 60, 100, 5);
        QTest::newRow("tracking distance") << QStringList{"tracking", "distance", "250"} << tracking
                                           << trackingSetup(2, 60, 100, 5) << trackingSetup(3, 60, 250, 5);
        QTest::newRow("tracking speed") << QStringList{"tracking", "speed", "30"} << tracking << QByteArray()
                                        << trackingSetup(4, 10, 100, 30);
        QTest::newRow("tracking speed interval") << QStringList{"tracking", "speed", "30", "--interval", "5"}
                                                 << tracking << QByteArray() << trackingSetup(4, 5, 100, 30);
        QTest::newRow("tracking off") << QStringList{"tracking", "off"} << tracking
                                      << trackingSetup(3, 60, 250, 5) << trackingSetup(0, 60, 250, 5);
    }
    void setupCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, name);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        if (!before.isEmpty())
            store(name, before);
        QCOMPARE(run(arguments), 0);
        QCOMPARE(stored(name), after);
        // Stored under vorlanctl's own process number, so the daemon refetches.
        const QStringList log = callLog().filter(QStringLiteral(" set%1 ").arg(name));
        QCOMPARE(log.size(), before.isEmpty() ? 1 : 2);
        QCOMPARE(log.last().section(QLatin1Char(' '), 2, 4),
                 QStringLiteral("set%1 %2 1").arg(name).arg(m_ctlPid));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("text");
        QTest::newRow("no command") << QStringList{} << 2 << "no command given";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << "unknown command";
        QTest::newRow("gps maybe") << QStringList{"gps", "maybe"} << 2 << "wants on or off";
        QTest::newRow("time without value")
            << QStringList{"tracking", "time"} << 2 << "wants one positive number";
        QTest::newRow("zero time") << QStringList{"tracking", "time", "0"} << 2 << "positive number";
        QTest::newRow("interval off speed")
            << QStringList{"tracking", "off", "--interval", "5"} << 2 << "speed mode";
        QTest::newRow("bad count") << QStringList{"watch", "--count", "x"} << 2 << "--count";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Commands:";
        for (const char *command :
             {"status", "start", "watch", "gps", "timesync", "tracking", "logbook", "export"})
            QTest::newRow(command) << QStringList{QString::fromLatin1(command), "--help"} << 0
                                   << "Usage: vorlanctl";
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, text);
        QCOMPARE(run(arguments), exitCode);
        QVERIFY2((m_out + m_err).contains(text), qPrintable(m_out + m_err));
    }

    void status()
    {
        store(QStringLiteral("SetupGps"), gpsSetup(false, 1));
        store(QStringLiteral("SetupGpsTracking"), trackingSetup(2, 60, 100, 5));
        m_heartbeat.start(kBeatMs);
        QCOMPARE(run({QStringLiteral("status")}), 0);
        QVERIFY2(m_out.contains(QStringLiteral("heartbeat from pid %1").arg(kDaemonPid)), qPrintable(m_out));
        QVERIFY(m_out.contains(QLatin1String("name:      \"GPS1\"")));
        QVERIFY(m_out.contains(QLatin1String("gps setup: GPS off, time sync on")));
        QVERIFY(m_out.contains(QLatin1String("tracking:  by time, every 60 s")));

        m_heartbeat.stop();
        QCOMPARE(run({QStringLiteral("status")}), 3);
        QVERIFY(m_out.contains(QLatin1String("no heartbeat")));
    }

    void start()
    {
        m_heartbeat.start(kBeatMs);
        QCOMPARE(run({QStringLiteral("start")}), 0);
        QTRY_COMPARE(m_starts.size(), 1);
        QCOMPARE(m_starts.first(), qMakePair(int(m_ctlPid), kDaemonPid));
        m_heartbeat.stop();
        QCOMPARE(run({QStringLiteral("start"), QStringLiteral("--pid"), QStringLiteral("999")}), 0);
        QTRY_COMPARE(m_starts.size(), 2);
        QCOMPARE(m_starts.last(), qMakePair(int(m_ctlPid), 999));
    }

    void watch()
    {
        CGpsPoint point = samplePoint();
        const QByteArray gps = point.toBytes();
        const QByteArray time = CRecordStream::bytesOf(CDateTime::fromUtc(QDate(2021, 3, 4), QTime(5, 6, 7)));
        const auto sendBoth = [&] {
            emitSignal(QStringLiteral("sigActualGpsData"), {kDaemonPid, gps});
            emitSignal(QStringLiteral("sigSyncTime"), {kDaemonPid, 1, time});
        };
        QCOMPARE(run({QStringLiteral("watch"), QStringLiteral("--count"), QStringLiteral("4")}, QString(),
                     sendBoth),
                 0);
        QCOMPARE(m_out.count(QLatin1Char('\n')), 4);
        QVERIFY2(m_out.contains(QStringLiteral(
                     "sigActualGpsData iProcess=31337 lat=48.500000 lon=11.250000 alt=512.7m speed=54.9km/h "
                     "track=359.99deg sats=12 hdop=1.0 status=0 time=2020-05-17 08:09:10.000 UTC")),
                 qPrintable(m_out));
        QVERIFY(m_out.contains(
            QLatin1String("sigSyncTime iProcess=31337 iType=1 time=2021-03-04 05:06:07.000 UTC")));

        QCOMPARE(run({QStringLiteral("watch"), QStringLiteral("--json"), QStringLiteral("--count"),
                      QStringLiteral("2")},
                     QString(), sendBoth),
                 0);
        const QStringList lines = m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        for (const QString &line : lines) {
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            QCOMPARE(object.value(QLatin1String("args")).toObject().value(QLatin1String("iProcess")).toInt(),
                     kDaemonPid);
            if (object.value(QLatin1String("member")).toString() == QLatin1String("sigActualGpsData"))
                QCOMPARE(object.value(QLatin1String("gps")).toObject().value(QLatin1String("lat")).toDouble(),
                         48.5);
        }
        QCOMPARE(run({QStringLiteral("watch"), QStringLiteral("--seconds"), QStringLiteral("1")}), 0);
    }

    void logbook()
    {
        CLogGps enabled;
        enabled.iSubType = 11001;
        CLogTracking point;
        point.iSubType = 11000;
        point.oGpsPoint = samplePoint();
        store(QStringLiteral("LogbookGPS"), enabled.serialize());
        store(QStringLiteral("LogbookDataTracking"), point.serialize());
        QCOMPARE(run({QStringLiteral("logbook"), QStringLiteral("--lang"), QStringLiteral("en")}), 0);
        QStringList lines = m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.at(0).endsWith(QLatin1String("  GPS switched on")), qPrintable(lines.at(0)));
        QVERIFY2(lines.at(1).endsWith(QLatin1String(
                     "  Track point  GPS time 2020-05-17 08:09:10  lat 48.500000  lon 11.250000  "
                     "speed 54.9 km/h")),
                 qPrintable(lines.at(1)));

        QCOMPARE(run({QStringLiteral("logbook"), QStringLiteral("--lang"), QStringLiteral("en"),
                      QStringLiteral("--last"), QStringLiteral("1")}),
                 0);
        lines = m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.at(0).contains(QLatin1String("  Track point  ")));

        QCOMPARE(run({QStringLiteral("logbook"), QStringLiteral("--json")}), 0);
        const QJsonArray array = QJsonDocument::fromJson(m_out.toUtf8()).array();
        QCOMPARE(array.size(), 2);
        QCOMPARE(array.at(0).toObject().value(QLatin1String("subtypeName")).toString(),
                 QStringLiteral("GPS_Enabled"));
        QCOMPARE(array.at(1)
                     .toObject()
                     .value(QLatin1String("point"))
                     .toObject()
                     .value(QLatin1String("lon"))
                     .toDouble(),
                 11.25);
    }

    void failsClearlyWithoutBusOrStore_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("busThere");
        QTest::addColumn<QString>("text");
        for (const QStringList &command : {QStringList{"status"}, QStringList{"gps", "on"},
                                           QStringList{"tracking", "off"}, QStringList{"logbook"}}) {
            QTest::newRow(qPrintable(command.first() + QLatin1String(" no bus")))
                << command << false << "cannot connect";
            QTest::newRow(qPrintable(command.first() + QLatin1String(" no store")))
                << command << true << "com.Brask.Vorlan is not running";
        }
        QTest::newRow("watch no bus") << QStringList{"watch"} << false << "cannot connect";
        QTest::newRow("start no bus") << QStringList{"start", "--pid", "5"} << false << "cannot connect";
    }
    void failsClearlyWithoutBusOrStore()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, busThere);
        QFETCH(QString, text);
        TestBus empty;
        QVERIFY2(empty.start(), qPrintable(empty.error()));
        const QString address = busThere ? empty.unixAddress() : QStringLiteral("unix:path=/nonexistent/bus");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run(arguments, address), 1);
        QVERIFY(clock.elapsed() < kGiveUpMs);
        QVERIFY2(m_err.startsWith(QLatin1String("vorlanctl: ")) && m_err.contains(text), qPrintable(m_err));
    }
};

QTEST_GUILESS_MAIN(tst_Vorlanctl)
#include "tst_vorlanctl.moc"
