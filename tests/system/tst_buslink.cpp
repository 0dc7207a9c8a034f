// The daemon on a real bus with the real stand-in data service: heartbeat,
// name reply, the start sequence with its exact records, setup changes from
// other processes, and the data service failing or absent.

#include "../support/SystemFixture.h"

#include <QDBusInterface>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>

namespace {
const QByteArray kHeader = QByteArray::fromHex("00000100" "00000020") + QByteArray(32, '\0');

QString utf16Hex(const char *text)
{
    const QString s = QString::fromLatin1(text);
    QByteArray out;
    for (QChar c : s)
        out += char(c.unicode() >> 8), out += char(c.unicode() & 0xff);
    return QString::fromLatin1(out.toHex());
}

QStringList messages()
{
    QStringList out;
    const QStringList lines = TestDaemon::logLines();
    for (const QString &l : lines)
        out << TestDaemon::messageOf(l);
    return out;
}
} // namespace

class tst_BusLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QFile::remove(QLatin1String(TestDaemon::kGpioFile)); }

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

        QCOMPARE(calls.at(3).bytes.toHex(), (kHeader + QByteArray::fromHex("00000000" "01")).toHex());
        QCOMPARE(calls.at(5).bytes.toHex(),
                 (kHeader + QByteArray::fromHex("00000002" "00000000" "0000000a" "000003e8" "0000000a")).toHex());
        // The version report: only the software-version item marked, one entry "GPS".
        const QString runtime = QString::fromLatin1(calls.at(1).bytes.toHex());
        QVERIFY(runtime.contains(QStringLiteral("0100000001") + QStringLiteral("00000006") + utf16Hex("GPS") +
                                 QStringLiteral("00000048") + utf16Hex("1.2.1 / vn-release-1.14.2-0-g3786225")));

        const QStringList log = messages();
        const QStringList expectedLines = {
            QStringLiteral("W File: cgpsprog Line:  1637 :  signal 'SetSystemReady' received. Set SW-Version to  "
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
            QVERIFY2(found >= 0, qPrintable(expected + QStringLiteral("\n---\n") + log.join(QLatin1Char('\n'))));
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

        // expected: SIGTERM after the start waits for the heartbeat thread, then exits 0 with the line cleared
        QElapsedTimer shutdown;
        shutdown.start();
        QVERIFY(f.daemon.sendSignal(SIGTERM));
        int status = 0;
        QVERIFY(f.daemon.waitForExit(5000, &status));
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY2(shutdown.elapsed() >= 900, qPrintable(QString::number(shutdown.elapsed())));
        QVERIFY(f.daemon.countLog(QStringLiteral("Thread end")) == 1);
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("0"));
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
        QVERIFY(f.daemon.waitForLog(QStringLiteral("D File: cgpsprog Line:  1713 :  sigSystemReady ignored "), 2000));
        QCOMPARE(f.daemon.countLog(QStringLiteral("Set SW-Version")), 0);
    }

    void setupChangesFromOthersAreFetchedOwnAreIgnored()
    {
        SystemFixture f;
        QVERIFY2(f.startBus() && f.startStore() && f.startDaemon() && f.startSequence(), qPrintable(f.error));
        const int pid = int(f.daemon.pid());
        QDBusInterface setup(QStringLiteral("com.Brask.Vorlan"), QStringLiteral("/SetupData"),
                             QStringLiteral("com.Brask.Vorlan.Setup"), f.peer->bus());

        // situation: another process stores tracking by distance (500 m)
        const QByteArray byDistance =
            kHeader + QByteArray::fromHex("00000003" "00000000" "0000001e" "000001f4" "00000014");
        QCOMPARE(setup.call(QStringLiteral("setSetupGpsTracking"), f.peer->pid(), byDistance).arguments().value(0).toInt(), 1);
        QVERIFY(f.daemon.waitForLog(QStringLiteral("D File: cgpsprog Line:  1414 :  setupGpsTracking eTrackingStatus  3  "
                                                   "distance  500  SpeedLevel  20  iInterval  30 "),
                                    3000));

        // situation: the daemon's own pid on the change: only the first line, no fetch
        const int fetchesBefore = f.members().count(QStringLiteral("getSetupGpsTracking"));
        QCOMPARE(setup.call(QStringLiteral("setSetupGpsTracking"), pid, byDistance).arguments().value(0).toInt(), 1);
        QVERIFY(f.daemon.waitForLog(QStringLiteral("setupGpsTracking( %1 ) ").arg(pid), 3000));
        QTest::qWait(300);
        QCOMPARE(f.members().count(QStringLiteral("getSetupGpsTracking")), fetchesBefore);

        // situation: another process switches GPS off, then on again
        QCOMPARE(setup.call(QStringLiteral("setSetupGps"), f.peer->pid(), kHeader + QByteArray::fromHex("00000005" "00"))
                     .arguments().value(0).toInt(), 1);
        QVERIFY(f.daemon.waitForLog(QStringLiteral("W File: cgpsprog Line:  1467 :  Gps is disabled "), 3000));
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("0"));
        QCOMPARE(setup.call(QStringLiteral("setSetupGps"), f.peer->pid(), kHeader + QByteArray::fromHex("00000000" "01"))
                     .arguments().value(0).toInt(), 1);
        QVERIFY(f.daemon.waitForLog(QStringLiteral("D File: cgpsprog Line:  1462 : Gps is enabled => Start Gps timer "), 3000));
        QCOMPARE(TestDaemon::readFile(QLatin1String(TestDaemon::kGpioFile)), QStringLiteral("1"));
        // expected: one logbook event each, GPS_Disabled then GPS_Enabled
        QTRY_COMPARE_WITH_TIMEOUT(f.members().count(QStringLiteral("setLogbookGPS")), 2, 3000);
        QStringList subtypes;
        const auto calls = f.calls();
        for (const auto &c : calls)
            if (c.member == QLatin1String("setLogbookGPS"))
                subtypes << QString::fromLatin1(c.bytes.mid(4, 8).toHex());
        QCOMPARE(subtypes, QStringList({QStringLiteral("00000006" "00002afa"), QStringLiteral("00000006" "00002af9")}));
    }

    void failuresOfTheDataServiceAreLoggedByName()
    {
        SystemFixture f;
        QVERIFY2(f.startBus() && f.startStore({QStringLiteral("--fail"), QStringLiteral("setSetupGps=-1000"),
                                               QStringLiteral("--fail"), QStringLiteral("setSetupGpsTracking=2")})
                     && f.startDaemon() && f.startSequence(),
                 qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("W File: cgpsprog Line:  1656 :  Dbus-Error:  \"VALIDATION_ERROR\" "), 3000));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("W File: cgpsprog Line:  1231 :  Dbus-Error:  \"REPLY_FALSE\" "), 3000));
        // expected: GPS still switched on by the default record
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
    }

    void dataServiceAbsentAtStart()
    {
        SystemFixture f;
        QVERIFY2(f.startBus() && f.startDaemon() && f.startSequence(), qPrintable(f.error));
        // expected: null answers, failed stores named by code 0, GPS switched on anyway
        QVERIFY(f.daemon.waitForLog(QStringLiteral("W File: cgpsprog Line:  1646 :  getSetupGps returns NULL "), 3000));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Line:  1656 :  Dbus-Error:  \"REPLY_NO_SUCCESS\" "), 3000));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
        QVERIFY(f.daemon.isRunning());
    }

    void busAppearingLaterIsFoundAtTheRetryCadence()
    {
        SystemFixture f;
        // situation: the daemon starts before its bus, retrying every 400 ms
        QTemporaryDir dir;
        QVERIFY2(f.startDaemon(QStringLiteral("[SETUP_GENERAL]\nDbus_Connection_Retry=400\n"),
                               QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("late-bus"))),
                 qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Can't connect to session bus!"), 3000, 2));
        QProcess late;
        late.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--address=unix:path=") +
                                                       dir.filePath(QStringLiteral("late-bus"))});
        QVERIFY(late.waitForStarted(3000));
        // expected: connected at one of the next attempts
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Connected to session bus!"), 3000));
        f.daemon.kill();
        late.terminate();
        late.waitForFinished(3000);
    }

    void slowDataServiceBlocksTheLoopNotTheHeartbeat()
    {
        // situation: the tracking setup answer takes longer than the bus timeout (25 s)
        SystemFixture f;
        QVERIFY2(f.startBus() && f.startStore({QStringLiteral("--delay"), QStringLiteral("getSetupGpsTracking=40000")}) &&
                     f.startDaemon(),
                 qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Connected to session bus!"), 3000));
        f.peer->emitSignal(QStringLiteral("sigProcessStart"), {f.peer->pid(), int(f.daemon.pid())});
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
        QElapsedTimer blocked;
        blocked.start();
        f.peer->clear();
        // expected: the thread's heartbeat goes on while the event loop waits
        QVERIFY(f.peer->waitFor(QStringLiteral("sigTrigger"), 10, 12000));
        // expected: the call ends by time-out as "nothing stored", the default is stored
        QVERIFY(f.daemon.waitForLog(QStringLiteral("W File: cgpsprog Line:  1186 :  getSetupGpsTracking returns NULL "), 30000));
        QVERIFY2(blocked.elapsed() > 20000, qPrintable(QString::number(blocked.elapsed())));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("'setSetupGpsTracking' successfull'"), 3000));
    }

    void missingGpioLineIsLoggedAndGpsStartsAnyway()
    {
        QDir(QStringLiteral("/sys/devices/virtual/gpio/gpio27")).removeRecursively();
        SystemFixture f;
        QVERIFY2(f.startBus() && f.startStore() && f.startDaemon() && f.startSequence(), qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(
            QStringLiteral("W File: cgpsprog Line:  412 :  Error opening gpio27 device  No such file or directory "), 3000));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
        QVERIFY(f.daemon.sendSignal(SIGTERM));
        int status = 0;
        QVERIFY(f.daemon.waitForExit(5000, &status));
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(f.daemon.countLog(QStringLiteral("Error opening gpio27 device")), 2);
        QDir().mkpath(QStringLiteral("/sys/devices/virtual/gpio/gpio27"));
    }

    void tcpBus()
    {
        SystemFixture f(TestBus::UnixAndTcp);
        QVERIFY2(f.startBus() && f.startStore(), qPrintable(f.error));
        // situation: the daemon configured for the TCP bus; the store serves the same bus
        const QString address = f.bus.tcpAddress();
        QVERIFY2(f.startDaemon(QStringLiteral("[SETUP_GENERAL]\nUse_Session_Bus=0\nTCP_Bus_Address=\"%1\"\n").arg(address)),
                 qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("D File: cgpsprog Line:  1290 :  Connected to  \"%1\" , \"remote\" ").arg(address), 3000));
        QVERIFY(f.peer->waitFor(QStringLiteral("sigTrigger"), 1, 2500));
        QCOMPARE(f.peer->seen(QStringLiteral("sigTrigger")).first().path, QStringLiteral("/Signals"));
        QVERIFY(f.startSequence());
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), 3000));
    }
};

QTEST_GUILESS_MAIN(tst_BusLink)
#include "tst_buslink.moc"
