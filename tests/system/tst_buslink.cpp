// The daemon on a real bus with the real stand-in data service: heartbeat,
// name reply, the start sequence with its exact records, setup changes from
// other processes (GPS switched off and on while fixes come in), the data
// service failing or absent, and a TCP bus that comes up after the daemon.

#include "../support/SystemFixture.h"
#include "records/CRuntimeGeneralNonWM.h"

#include <QtTest>

#include <csignal>

class tst_BusLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startSequenceStoresDefaultsInOrder()
    {
        SystemFixture f;
        QVERIFY2(f.startBus() && f.startStore() && f.startDaemon(), qPrintable(f.error));
        const int pid = int(f.daemon.pid());

        // expected: heartbeat from "/Signals" once a second before the start
        QVERIFY(f.peer->waitFor(QStringLiteral("sigTrigger"), 3, 4500));
        const auto early = f.peer->seen(QStringLiteral("sigTrigger"));
        QCOMPARE(early.first().path, QStringLiteral("/Signals"));
        QCOMPARE(early.first().arguments.value(0).toInt(), pid);
        const qint64 gap = early.at(2).atMs - early.at(1).atMs;
        QVERIFY2(gap > 700 && gap < 1400, qPrintable(QString::number(gap)));

        QVERIFY(f.startSequence());
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));

        // expected: the calls in order, all with the daemon's pid, defaults stored
        const QStringList expectedOrder = {
            QStringLiteral("getSetupGeneralNonWM"), QStringLiteral("setRuntimeGeneralNonWM"),
            QStringLiteral("getSetupGps"),          QStringLiteral("setSetupGps"),
            QStringLiteral("getSetupGpsTracking"),  QStringLiteral("setSetupGpsTracking")};
        QTRY_VERIFY_WITH_TIMEOUT(f.members().size() >= expectedOrder.size(), 3000);
        QCOMPARE(f.members().mid(0, expectedOrder.size()), expectedOrder);
        const auto calls = f.calls();
        for (const auto &c : calls)
            if (c.member.startsWith(QLatin1String("set")))
                QCOMPARE(c.process, QString::number(pid));

        QCOMPARE(calls.at(3).bytes.toHex(), gpsSetup(0, true).toHex());
        QCOMPARE(calls.at(5).bytes.toHex(), trackingSetup(2, 10, 1000, 10).toHex());
        // The version report: only the software-version item marked, one entry "GPS".
        CRuntimeGeneralNonWM runtime; // takes (and marks) the marked items only
        QVERIFY(runtime.parse(calls.at(1).bytes).ok());
        for (int item = 1; item <= CRuntimeGeneralNonWM::kItemCount; ++item)
            QCOMPARE(runtime.isMarked(item), item == CRuntimeGeneralNonWM::kSoftwareVersionsItem);
        QCOMPARE(runtime.softwareVersions(),
                 (CRuntimeGeneralNonWM::Hash{{"GPS", "1.2.1 / vn-release-1.14.2-0-g3786225"}}));

        const QStringList log = TestDaemon::logMessages();
        const QStringList expectedLines = {
            QStringLiteral(
                "W File: cgpsprog Line:  1637 :  signal 'SetSystemReady' received. Set SW-Version to  "
                "\"1.2.1 / vn-release-1.14.2-0-g3786225\" "),
            QStringLiteral("W File: cgpsprog Line:  1646 :  getSetupGps returns NULL "),
            QStringLiteral("D File: cgpsprog Line:  1660 :  'setSetupGps' successfull' "),
            QStringLiteral("W File: cgpsprog Line:  401 :  set gpio27 = 1 "),
            QStringLiteral("D File: cgpsprog Line:  1681 :  Start Gps timer "),
            QStringLiteral("W File: cgpsprog Line:  1186 :  getSetupGpsTracking returns NULL "),
            QStringLiteral("D File: cgpsprog Line:  1235 :  'setSetupGpsTracking' successfull' "),
        };
        int at = 0;
        for (const QString &expected : expectedLines) {
            const int found = log.indexOf(expected, at);
            QVERIFY2(found >= 0,
                     qPrintable(expected + QStringLiteral("\n---\n") + log.join(QLatin1Char('\n'))));
            at = found + 1;
        }
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("1"));

        // expected: after the start the thread beats every 800 ms, from "/"
        f.peer->clear();
        QVERIFY(f.peer->waitFor(QStringLiteral("sigTrigger"), 4, 4000));
        const auto late = f.peer->seen(QStringLiteral("sigTrigger"));
        QCOMPARE(late.last().path, QStringLiteral("/"));
        const qint64 beat = (late.at(3).atMs - late.at(1).atMs) / 2;
        QVERIFY2(beat > 600 && beat < 1000, qPrintable(QString::number(beat)));

        // expected: a second start request is ignored
        f.peer->emitSignal(QStringLiteral("sigProcessStart"), {f.peer->pid(), pid});
        QTest::qWait(500);
        QCOMPARE(f.daemon.countLog(QStringLiteral("Set SW-Version to")), 1);
    }

    void answersNameRequestsAddressedToIt()
    {
        SystemFixture f;
        QVERIFY2(f.startBus() && f.startDaemon(), qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Connected to session bus!"), 3000));
        const int pid = int(f.daemon.pid());

        f.peer->emitSignal(QStringLiteral("sigGetName"), {f.peer->pid(), pid + 1});
        f.peer->emitSignal(QStringLiteral("sigGetName"), {pid, pid});
        f.peer->emitSignal(QStringLiteral("sigGetName"), {f.peer->pid(), pid});
        QVERIFY(f.peer->waitFor(QStringLiteral("sigSendName"), 1, 3000));
        QTest::qWait(300);
        // expected: only the request from another process addressed to the daemon is answered
        const auto answers = f.peer->seen(QStringLiteral("sigSendName"));
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers.first().arguments.value(0).toInt(), pid);
        QCOMPARE(answers.first().arguments.value(1).toByteArray(), QByteArray("GPS1"));
        QCOMPARE(answers.first().path, QStringLiteral("/Signals"));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("D onsigGetName() "), 1000, 3));
        QCOMPARE(f.daemon.countLog(QStringLiteral("D SetGetName(...,'GPS1''); ")), 1);

        f.peer->emitSignal(QStringLiteral("sigSystemReady"), {f.peer->pid()});
        QVERIFY(f.daemon.waitForLog(QStringLiteral("D File: cgpsprog Line:  1713 :  sigSystemReady ignored "),
                                    2000));
        QCOMPARE(f.daemon.countLog(QStringLiteral("Set SW-Version")), 0);
    }

    void setupChangesFromOthersAreFetchedOwnAreIgnored()
    {
        FakeGpsd receiver;
        QVERIFY(receiver.listen());
        SystemFixture f;
        QVERIFY2(f.startSystem(), qPrintable(f.error));
        const int pid = int(f.daemon.pid());
        receiver.playFixes(250);

        // situation: another process stores tracking by distance (500 m)
        const QByteArray byDistance = trackingSetup(3, 30, 500, 20);
        QVERIFY(f.storeSetup(QStringLiteral("setSetupGpsTracking"), byDistance));
        QVERIFY(f.daemon.waitForLog(
            QStringLiteral("D File: cgpsprog Line:  1414 :  setupGpsTracking eTrackingStatus  3  "
                           "distance  500  SpeedLevel  20  iInterval  30 "),
            3000));

        // situation: the daemon's own pid on the change: only the first line, no fetch
        const int fetchesBefore = f.members().count(QStringLiteral("getSetupGpsTracking"));
        QVERIFY(f.storeSetup(QStringLiteral("setSetupGpsTracking"), byDistance, pid));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("setupGpsTracking( %1 ) ").arg(pid), 3000));
        QTest::qWait(300);
        QCOMPARE(f.members().count(QStringLiteral("getSetupGpsTracking")), fetchesBefore);

        // situation: while fixes come in, another process switches GPS off for 2 s
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= 3; }, 10000));
        QVERIFY(f.storeSetup(QStringLiteral("setSetupGps"), gpsSetup(5, false)));
        QVERIFY(
            f.daemon.waitForLog(QStringLiteral("W File: cgpsprog Line:  1467 :  Gps is disabled "), 3000));
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("0"));
        QTest::qWait(2000);
        QVERIFY(f.storeSetup(QStringLiteral("setSetupGps"), gpsSetup(0, true)));
        QVERIFY(f.daemon.waitForLog(
            QStringLiteral("D File: cgpsprog Line:  1462 : Gps is enabled => Start Gps timer "), 3000));
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("1"));
        const int handed = f.fixes().size();
        QVERIFY(f.waitUntil([&] { return f.fixes().size() >= handed + 2; }, 5000));

        // expected: one logbook event each, GPS_Disabled then GPS_Enabled (after the first fix's)
        QCOMPARE(f.gpsEvents(), (QList<qint32>{GPS_ValidData, GPS_Disabled, GPS_Enabled}));
        // expected: nothing handed on or published while off; then polling resumes
        // on the open connection, at once, with the next report waiting in it
        const QList<SystemFixture::Line> log = f.log();
        const qint64 offAt = SystemFixture::timesOf(log, QStringLiteral("Line:  1467 :")).value(0);
        const qint64 onAt = SystemFixture::timesOf(log, QStringLiteral("Line:  1462 :")).value(0);
        const QList<SystemFixture::Fix> fixes = f.fixes();
        const auto after = std::find_if(fixes.cbegin(), fixes.cend(),
                                        [&](const SystemFixture::Fix &x) { return x.atMs > offAt; });
        QVERIFY(after != fixes.cbegin() && after != fixes.cend());
        QVERIFY2(after->atMs > onAt && after->atMs - onAt < 1500,
                 qPrintable(QString::number(after->atMs - onAt)));
        QCOMPARE(after->gpsMs, (after - 1)->gpsMs + 1000);
        for (const SystemFixture::Published &p : f.published())
            QVERIFY2(p.atMs < offAt + 300 || p.atMs > onAt, qPrintable(QString::number(p.atMs - offAt)));
        QCOMPARE(receiver.connections(), 1);
    }

    void dataServiceFailingOrAbsentAtStart_data()
    {
        QTest::addColumn<QStringList>("store"); // its arguments; empty: no store at all
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("failure codes")
            << QStringList{QStringLiteral("--fail"), QStringLiteral("setSetupGps=-1000"),
                           QStringLiteral("--fail"), QStringLiteral("setSetupGpsTracking=2")}
            << QStringList{
                   QStringLiteral("W File: cgpsprog Line:  1656 :  Dbus-Error:  \"VALIDATION_ERROR\" "),
                   QStringLiteral("W File: cgpsprog Line:  1231 :  Dbus-Error:  \"REPLY_FALSE\" ")};
        QTest::newRow("absent")
            << QStringList()
            << QStringList{QStringLiteral("W File: cgpsprog Line:  1646 :  getSetupGps returns NULL "),
                           QStringLiteral("W File: cgpsprog Line:  1656 :  Dbus-Error:  "
                                          "\"REPLY_NO_SUCCESS\" ")};
    }

    void dataServiceFailingOrAbsentAtStart()
    {
        QFETCH(QStringList, store);
        QFETCH(QStringList, lines);
        SystemFixture f;
        QVERIFY2(f.startBus() && (store.isEmpty() || f.startStore(store)) && f.startDaemon() &&
                     f.startSequence(),
                 qPrintable(f.error));
        // expected: each failure named; GPS still switched on by the default record
        for (const QString &line : lines)
            QVERIFY2(f.daemon.waitForLog(line, 3000), qPrintable(line));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
        QVERIFY(f.daemon.isRunning());
    }

    void slowDataServiceBlocksTheLoopNotTheHeartbeat()
    {
        // situation: the tracking setup answer takes longer than the bus timeout (25 s)
        SystemFixture f;
        QVERIFY2(f.startBus() &&
                     f.startStore({QStringLiteral("--delay"), QStringLiteral("getSetupGpsTracking=40000")}) &&
                     f.startDaemon(),
                 qPrintable(f.error));
        QVERIFY(f.requestStart());
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
        QElapsedTimer blocked;
        blocked.start();
        f.peer->clear();
        // expected: the thread's heartbeat goes on while the event loop waits
        QVERIFY(f.peer->waitFor(QStringLiteral("sigTrigger"), 10, 12000));
        // expected: the call ends by time-out as "nothing stored", the default is stored
        QVERIFY(f.daemon.waitForLog(
            QStringLiteral("W File: cgpsprog Line:  1186 :  getSetupGpsTracking returns NULL "), 30000));
        QVERIFY2(blocked.elapsed() > 20000, qPrintable(QString::number(blocked.elapsed())));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("'setSetupGpsTracking' successfull'"), 3000));
    }

    void missingGpioLineIsLoggedAndGpsStartsAnyway()
    {
        QDir(QStringLiteral("/sys/devices/virtual/gpio/gpio27")).removeRecursively();
        SystemFixture f;
        QVERIFY2(f.startSystem(), qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(
            QStringLiteral(
                "W File: cgpsprog Line:  412 :  Error opening gpio27 device  No such file or directory "),
            3000));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
        QVERIFY(f.daemon.sendSignal(SIGTERM));
        QVERIFY(f.daemon.exitedWith(0));
        QCOMPARE(f.daemon.countLog(QStringLiteral("Error opening gpio27 device")), 2);
        QDir().mkpath(QStringLiteral("/sys/devices/virtual/gpio/gpio27"));
    }

    void tcpBusAppearingLater()
    {
        // situation: the daemon configured for a TCP bus that comes up after it, retrying every
        // 400 ms; then the store serves that bus
        SystemFixture f(TestBus::UnixAndTcp, 7777);
        const QString address = QStringLiteral("tcp:host=127.0.0.1,port=7777");
        QVERIFY2(
            f.startDaemon(QStringLiteral("[SETUP_GENERAL]\nUse_Session_Bus=0\nDbus_Connection_Retry=400\n"
                                         "TCP_Bus_Address=\"%1\"\n")
                              .arg(address)),
            qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Can't connect to"), 3000, 2));
        QVERIFY2(f.startBus() && f.startStore(), qPrintable(f.error));
        // expected: connected at one of the next attempts, then as on the session bus
        QVERIFY(f.daemon.waitForLog(
            QStringLiteral("D File: cgpsprog Line:  1290 :  Connected to  \"%1\" , \"remote\" ").arg(address),
            3000));
        QVERIFY(f.peer->waitFor(QStringLiteral("sigTrigger"), 1, 2500));
        QCOMPARE(f.peer->seen(QStringLiteral("sigTrigger")).first().path, QStringLiteral("/Signals"));
        QVERIFY(f.startSequence());
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
    }
};

QTEST_GUILESS_MAIN(tst_BusLink)
#include "tst_buslink.moc"
