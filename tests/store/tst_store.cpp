// vorlan-store on a private bus: records, logbook, refusals, faults, persistence.

#include "TestStore.h"
#include "tests/support/TestBus.h"

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"
#include "records/CReplyCode.h"
#include "records/CRuntimeGeneralNonWM.h"
#include "records/CRuntimeGps.h"
#include "records/CRuntimeTriggerFtpTransfer.h"
#include "records/CSetupGeneralNonWM.h"
#include "records/CSetupGps.h"
#include "records/CSetupGpsTracking.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
const QString kService = QStringLiteral("com.Brask.Vorlan");
const QString kControlPath = QStringLiteral("/StoreControl");
const QString kControlIface = QStringLiteral("com.Brask.Vorlan.StoreControl");
constexpr int kCallTimeoutMs = 5000;
constexpr int kSignalWaitMs = 3000;
constexpr int kPid = 4242;

struct Target {
    QString path;
    QString iface;
};

// Object and interface of a record by its name ("SetupGps", "LogbookGPS").
Target targetOf(const QString &name)
{
    if (name.startsWith(QLatin1String("Setup")))
        return {QStringLiteral("/SetupData"), QStringLiteral("com.Brask.Vorlan.Setup")};
    if (name.startsWith(QLatin1String("Runtime")))
        return {QStringLiteral("/RuntimeData"), QStringLiteral("com.Brask.Vorlan.Runtime")};
    return {QStringLiteral("/Logbook"), QStringLiteral("com.Brask.Vorlan.Logbook")};
}

QByteArray gpsEntry(int subtype)
{
    CLogGps entry;
    entry.iSubType = subtype;
    return entry.serialize();
}

QByteArray trackingEntry(double latitude)
{
    CLogTracking entry;
    entry.iSubType = 11000;
    entry.oGpsPoint.latitude = latitude;
    return entry.serialize();
}
} // namespace

class tst_Store : public QObject
{
    Q_OBJECT
public slots:
    void onSignal(const QDBusMessage &message) { m_signals << message; }

private:
    QDBusConnection m_conn{QStringLiteral("none")};
    TestBus m_bus;
    TestStore *m_store = nullptr;
    QList<QDBusMessage> m_signals;

    QDBusMessage call(const QDBusConnection &conn, const QString &path, const QString &iface,
                      const QString &member, const QVariantList &args = {}, int timeout = kCallTimeoutMs)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, path, iface, member);
        message.setArguments(args);
        return conn.call(message, QDBus::Block, timeout);
    }
    QDBusMessage control(const QString &member, const QVariantList &args = {})
    {
        return call(m_conn, kControlPath, kControlIface, member, args);
    }
    QDBusMessage set(const QString &name, int process, const QByteArray &bytes)
    {
        const Target t = targetOf(name);
        return call(m_conn, t.path, t.iface, QStringLiteral("set") + name, {process, bytes});
    }
    QByteArray get(const QDBusConnection &conn, const QString &name)
    {
        const Target t = targetOf(name);
        const QDBusMessage reply = call(conn, t.path, t.iface, QStringLiteral("get") + name);
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toByteArray()
                                                          : "error";
    }
    QStringList lines(const QDBusMessage &reply) { return reply.arguments().value(0).toStringList(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
        m_conn = QDBusConnection::connectToBus(m_bus.unixAddress(), QStringLiteral("test"));
        QVERIFY(m_conn.isConnected());
        m_store = new TestStore(m_bus.unixAddress());
        QVERIFY2(m_store->start(), qPrintable(m_store->error()));
        for (const QString &iface :
             {QStringLiteral("com.Brask.Vorlan.Setup"), QStringLiteral("com.Brask.Vorlan.Runtime"),
              QStringLiteral("com.Brask.Vorlan.Logbook")})
            QVERIFY(
                m_conn.connect(QString(), QString(), iface, QString(), this, SLOT(onSignal(QDBusMessage))));
    }
    void cleanup()
    {
        QCOMPARE(control(QStringLiteral("reset")).type(), QDBusMessage::ReplyMessage);
        // Signals sent before the reset's reply are queued by now: drop them.
        QCoreApplication::processEvents();
        m_signals.clear();
    }
    void cleanupTestCase()
    {
        delete m_store;
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
    }

    void roundTripAndSignal_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        CSetupGps gps;
        gps.bGpsEnabled = false;
        CSetupGpsTracking tracking;
        tracking.eTrackingStatus = CSetupGpsTracking::ByDistance;
        CSetupGeneralNonWM general;
        CRuntimeGps runtime;
        runtime.setLatitude(48.5);
        CRuntimeTriggerFtpTransfer trigger;
        trigger.setStartGpsFileTransfer(true);
        CRuntimeGeneralNonWM versions;
        versions.setSoftwareVersion(QStringLiteral("GPS"), QStringLiteral("1.2.1"));
        QTest::newRow("gps setup") << "SetupGps" << gps.serialize();
        QTest::newRow("tracking setup") << "SetupGpsTracking" << tracking.serialize();
        QTest::newRow("general setup") << "SetupGeneralNonWM" << general.serialize();
        QTest::newRow("runtime gps") << "RuntimeGps" << runtime.serialize();
        QTest::newRow("ftp trigger") << "RuntimeTriggerFtpTransfer" << trigger.serialize();
        QTest::newRow("general runtime") << "RuntimeGeneralNonWM" << versions.serialize();
    }
    void roundTripAndSignal()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QVERIFY(get(m_conn, name).isEmpty());
        QCOMPARE(set(name, kPid, bytes).arguments().value(0).toInt(), CReplyCode::REPLY_SUCCESS);
        QCOMPARE(get(m_conn, name), bytes);
        QTRY_COMPARE_WITH_TIMEOUT(m_signals.size(), 1, kSignalWaitMs);
        QCOMPARE(m_signals.first().member(), QStringLiteral("sig") + name);
        QCOMPARE(m_signals.first().path(), targetOf(name).path);
        QCOMPARE(m_signals.first().arguments(), QVariantList{kPid});

        const QStringList log = lines(control(QStringLiteral("callLog")));
        QCOMPARE(log.size(), 3);
        const QString hex = QString::fromLatin1(bytes.toHex());
        QCOMPARE(log.at(0).section(QLatin1Char(' '), 2), QStringLiteral("get%1 - null -").arg(name));
        QCOMPARE(log.at(1).section(QLatin1Char(' '), 2),
                 QStringLiteral("set%1 %2 1 %3").arg(name).arg(kPid).arg(hex));
        QCOMPARE(log.at(2).section(QLatin1Char(' '), 2), QStringLiteral("get%1 - ay %2").arg(name, hex));
        QCOMPARE(log.at(2).section(QLatin1Char(' '), 0, 0), QStringLiteral("3"));
    }

    void refusesWhatDoesNotDecode_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("code");
        CSetupGps gps;
        const QByteArray good = gps.serialize();
        CSetupGps huge;
        huge.reserved = QByteArray(70 * 1024, '\0'); // decodes, but is over the size cap
        CRuntimeTriggerFtpTransfer trigger;
        QByteArray oldVersion = good;
        oldVersion[3] = char(0xff);
        oldVersion[2] = 0;
        const int invalid = CReplyCode::VALIDATION_ERROR;
        QTest::newRow("garbage") << "SetupGps" << QByteArray("\x01\x02\x03", 3) << invalid;
        QTest::newRow("empty") << "SetupGps" << QByteArray() << invalid;
        QTest::newRow("truncated") << "SetupGps" << good.left(good.size() - 1) << invalid;
        QTest::newRow("trailing byte") << "SetupGps" << good + '\0' << invalid;
        QTest::newRow("version 255") << "SetupGps" << oldVersion << invalid;
        QTest::newRow("oversized") << "SetupGps" << huge.serialize() << invalid;
        QTest::newRow("runtime truncated")
            << "RuntimeTriggerFtpTransfer" << trigger.serialize().left(50) << invalid;
        QTest::newRow("gps entry cut") << "LogbookGPS" << gpsEntry(11001).left(30) << invalid;
        QTest::newRow("tracking as gps")
            << "LogbookGPS" << trackingEntry(1.0) << CReplyCode::WRONG_TYPE_FOR_THIS_SET;
        QTest::newRow("gps as tracking")
            << "LogbookDataTracking" << gpsEntry(11001) << CReplyCode::WRONG_TYPE_FOR_THIS_SET;
    }
    void refusesWhatDoesNotDecode()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, code);
        QCOMPARE(set(name, kPid, bytes).arguments().value(0).toInt(), code);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_store->log().contains(QStringLiteral("set%1 from %2 refused").arg(name).arg(kPid)),
            kSignalWaitMs);
        if (name.startsWith(QLatin1String("Logbook"))) {
            for (const QString &table : {QStringLiteral("gps"), QStringLiteral("tracking")})
                QVERIFY(lines(control(QStringLiteral("listLogbook"), {table, 0})).isEmpty());
        } else {
            QVERIFY(get(m_conn, name).isEmpty());
        }
        QVERIFY(m_signals.isEmpty());
    }

    void runtimeRecordsMergeMarkedFields()
    {
        CRuntimeTriggerFtpTransfer first;
        first.setStartGpsFileTransfer(true);
        CRuntimeTriggerFtpTransfer second;
        second.setTriggerText1(QStringLiteral("gps.csv"));
        const QString name = QStringLiteral("RuntimeTriggerFtpTransfer");
        QCOMPARE(set(name, 1, first.serialize()).arguments().value(0).toInt(), CReplyCode::REPLY_SUCCESS);
        QCOMPARE(set(name, 2, second.serialize()).arguments().value(0).toInt(), CReplyCode::REPLY_SUCCESS);
        CRuntimeTriggerFtpTransfer stored;
        QVERIFY(stored.parse(get(m_conn, name)).ok());
        QVERIFY(stored.StartGpsFileTransfer());
        QCOMPARE(stored.TriggerText1(), QStringLiteral("gps.csv"));
    }

    void logbookAppendsAndLists()
    {
        const QByteArray enabled = gpsEntry(11001);
        const QByteArray valid = gpsEntry(11003);
        const QByteArray point = trackingEntry(48.5);
        QCOMPARE(set(QStringLiteral("LogbookGPS"), 7, enabled).arguments().value(0).toInt(), 1);
        QCOMPARE(set(QStringLiteral("LogbookGPS"), 8, valid).arguments().value(0).toInt(), 1);
        QCOMPARE(set(QStringLiteral("LogbookDataTracking"), 9, point).arguments().value(0).toInt(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_signals.size(), 3, kSignalWaitMs);
        QCOMPARE(m_signals.at(1).member(), QStringLiteral("sigLogbookGPS"));
        QCOMPARE(m_signals.at(1).arguments(), (QVariantList{8, qulonglong(2)}));
        QCOMPARE(m_signals.at(2).member(), QStringLiteral("sigLogbookDataTracking"));
        QCOMPARE(m_signals.at(2).arguments(), (QVariantList{9, qulonglong(1)}));

        const QStringList gps = lines(control(QStringLiteral("listLogbook"), {QStringLiteral("gps"), 0}));
        QCOMPARE(gps.size(), 2);
        QCOMPARE(gps.at(0).section(QLatin1Char(' '), 2),
                 QStringLiteral("7 6 11001 ") + QString::fromLatin1(enabled.toHex()));
        QVERIFY(gps.at(0).startsWith(QLatin1String("1 ")));
        const QStringList last = lines(control(QStringLiteral("listLogbook"), {QStringLiteral("gps"), 1}));
        QCOMPARE(last, gps.mid(1));
        const QStringList tracking =
            lines(control(QStringLiteral("listLogbook"), {QStringLiteral("tracking"), 0}));
        QCOMPARE(tracking.size(), 1);
        QCOMPARE(tracking.at(0).section(QLatin1Char(' '), 2),
                 QStringLiteral("9 1 11000 ") + QString::fromLatin1(point.toHex()));
        QCOMPARE(control(QStringLiteral("listLogbook"), {QStringLiteral("main"), 0}).type(),
                 QDBusMessage::ErrorMessage);
    }

    void injectedFaults()
    {
        CSetupGps gps;
        QCOMPARE(control(QStringLiteral("setFail"), {QStringLiteral("setSetupGps"), -1003}).type(),
                 QDBusMessage::ReplyMessage);
        QCOMPARE(control(QStringLiteral("setFail"), {QStringLiteral("getSetupGpsTracking"), -2010}).type(),
                 QDBusMessage::ReplyMessage);
        QCOMPARE(control(QStringLiteral("setFail"), {QStringLiteral("setNothing"), -1}).type(),
                 QDBusMessage::ErrorMessage);
        QCOMPARE(
            lines(control(QStringLiteral("faults"))),
            (QStringList{QStringLiteral("getSetupGpsTracking=-2010"), QStringLiteral("setSetupGps=-1003")}));
        QCOMPARE(set(QStringLiteral("SetupGps"), kPid, gps.serialize()).arguments().value(0).toInt(), -1003);
        QCOMPARE(get(m_conn, QStringLiteral("SetupGpsTracking")), QByteArray("error"));
        QVERIFY(get(m_conn, QStringLiteral("SetupGps")).isEmpty());
        QVERIFY(m_signals.isEmpty());
        QVERIFY(lines(control(QStringLiteral("callLog")))
                    .at(0)
                    .endsWith(QLatin1String(" -1003 ") + QString::fromLatin1(gps.serialize().toHex())));

        QCOMPARE(control(QStringLiteral("clearFail"), {QString()}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(set(QStringLiteral("SetupGps"), kPid, gps.serialize()).arguments().value(0).toInt(), 1);
    }

    void delayedReplyKeepsStoreResponsive()
    {
        constexpr int kDelayMs = 1500;
        QCOMPARE(control(QStringLiteral("setDelay"), {QStringLiteral("getSetupGps"), kDelayMs}).type(),
                 QDBusMessage::ReplyMessage);
        QElapsedTimer clock;
        clock.start();
        QDBusPendingCall slow = m_conn.asyncCall(QDBusMessage::createMethodCall(
            kService, QStringLiteral("/SetupData"), QStringLiteral("com.Brask.Vorlan.Setup"),
            QStringLiteral("getSetupGps")));
        QVERIFY(get(m_conn, QStringLiteral("SetupGpsTracking")).isEmpty());
        QVERIFY(clock.elapsed() < kDelayMs / 2);
        QVERIFY(!slow.isFinished());
        slow.waitForFinished();
        QVERIFY(clock.elapsed() >= kDelayMs - 100);
        QVERIFY(!slow.isError());
        // A caller with a shorter timeout sees the bus's no-reply error.
        const QDBusMessage late =
            call(m_conn, QStringLiteral("/SetupData"), QStringLiteral("com.Brask.Vorlan.Setup"),
                 QStringLiteral("getSetupGps"), {}, 300);
        QCOMPARE(late.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NoReply"));
    }

    void refusesSecondInstance()
    {
        TestStore second(m_bus.unixAddress());
        QVERIFY(!second.start());
        QVERIFY2(second.error().contains(QLatin1String("taken")), qPrintable(second.error()));
        QVERIFY(get(m_conn, QStringLiteral("SetupGps")).isEmpty()); // the first one still serves
    }

    void commandLineOnTcpBus()
    {
        TestBus bus(TestBus::UnixAndTcp);
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        QTemporaryDir dir;
        CSetupGps gps;
        gps.iTimeSync = 1;
        QFile seed(dir.filePath(QStringLiteral("seed.txt")));
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write("# seed\nSetupGps " + gps.serialize().toHex() + "\nLogbookGPS " + gpsEntry(11002).toHex() +
                   "\n");
        seed.close();
        const QString callLog = dir.filePath(QStringLiteral("calls.log"));
        TestStore store(bus.tcpAddress());
        QVERIFY2(store.start({QStringLiteral("--memory"), QStringLiteral("--seed"), seed.fileName(),
                              QStringLiteral("--fail"), QStringLiteral("setSetupGpsTracking=-1000"),
                              QStringLiteral("--delay"), QStringLiteral("getSetupGps=800"),
                              QStringLiteral("--call-log"), callLog}),
                 qPrintable(store.error()));
        QDBusConnection conn = QDBusConnection::connectToBus(bus.tcpAddress(), QStringLiteral("tcp"));
        QVERIFY(conn.isConnected());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(get(conn, QStringLiteral("SetupGps")), gps.serialize());
        QVERIFY(clock.elapsed() >= 700);
        CSetupGpsTracking tracking;
        const QDBusMessage refused =
            call(conn, QStringLiteral("/SetupData"), QStringLiteral("com.Brask.Vorlan.Setup"),
                 QStringLiteral("setSetupGpsTracking"), {kPid, tracking.serialize()});
        QCOMPARE(refused.arguments().value(0).toInt(), CReplyCode::VALIDATION_ERROR);
        const QStringList logbook = lines(call(conn, kControlPath, kControlIface,
                                               QStringLiteral("listLogbook"), {QStringLiteral("gps"), 0}));
        QCOMPARE(logbook.size(), 1);
        QCOMPARE(logbook.at(0).section(QLatin1Char(' '), 2, 4), QStringLiteral("0 6 11002"));
        const QStringList calls = lines(call(conn, kControlPath, kControlIface, QStringLiteral("callLog")));
        QFile file(callLog);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts), calls);
        QCOMPARE(calls.size(), 2);
        QDBusConnection::disconnectFromBus(QStringLiteral("tcp"));
    }

    void startErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no bus") << QStringList{QStringLiteral("--bus"),
                                               QStringLiteral("unix:path=/nonexistent/bus")}
                                << "cannot connect" << 1;
        QTest::newRow("bad fault") << QStringList{QStringLiteral("--fail"), QStringLiteral("setSetupGps")}
                                   << "--fail wants MEMBER=CODE" << 2;
        QTest::newRow("unknown member")
            << QStringList{QStringLiteral("--fail"), QStringLiteral("setFoo=1")} << "no member" << 2;
        QTest::newRow("bad seed") << QStringList{QStringLiteral("--seed"), QStringLiteral("/nonexistent")}
                                  << "does not exist" << 1;
    }
    void startErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QFETCH(int, exitCode);
        QProcess store;
        store.start(TestStore::binary(), QStringList{QStringLiteral("--memory")} + arguments);
        QVERIFY(store.waitForFinished(5000));
        QCOMPARE(store.exitCode(), exitCode);
        QVERIFY(QString::fromLocal8Bit(store.readAllStandardError()).contains(message));
    }

    void survivesRestart()
    {
        TestBus bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        QTemporaryDir dir;
        const QStringList args{QStringLiteral("--db"), dir.filePath(QStringLiteral("sub/store.sqlite"))};
        CSetupGpsTracking tracking;
        tracking.iInterval = 30;
        const QByteArray entry = trackingEntry(11.25);
        {
            TestStore store(bus.unixAddress());
            QVERIFY2(store.start(args), qPrintable(store.error()));
            QDBusConnection conn = QDBusConnection::connectToBus(bus.unixAddress(), QStringLiteral("first"));
            QCOMPARE(call(conn, QStringLiteral("/SetupData"), QStringLiteral("com.Brask.Vorlan.Setup"),
                          QStringLiteral("setSetupGpsTracking"), {1, tracking.serialize()})
                         .arguments()
                         .value(0)
                         .toInt(),
                     1);
            QCOMPARE(call(conn, QStringLiteral("/Logbook"), QStringLiteral("com.Brask.Vorlan.Logbook"),
                          QStringLiteral("setLogbookDataTracking"), {2, entry})
                         .arguments()
                         .value(0)
                         .toInt(),
                     1);
            store.kill(); // no chance to flush anything after the replies
            QDBusConnection::disconnectFromBus(QStringLiteral("first"));
        }
        TestStore store(bus.unixAddress());
        QVERIFY2(store.start(args), qPrintable(store.error()));
        QDBusConnection conn = QDBusConnection::connectToBus(bus.unixAddress(), QStringLiteral("second"));
        QCOMPARE(get(conn, QStringLiteral("SetupGpsTracking")), tracking.serialize());
        const QStringList logbook =
            lines(call(conn, kControlPath, kControlIface, QStringLiteral("listLogbook"),
                       {QStringLiteral("tracking"), 0}));
        QCOMPARE(logbook.size(), 1);
        QVERIFY(logbook.at(0).startsWith(QLatin1String("1 ")));
        QVERIFY(logbook.at(0).endsWith(QString::fromLatin1(entry.toHex())));
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
    }
};

QTEST_GUILESS_MAIN(tst_Store)
#include "tst_store.moc"
