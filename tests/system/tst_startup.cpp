// The daemon binary as it starts on the board: daemonizing, its first log
// lines, the settings file and the bus retry (its end by a signal: tst_faults).
// Runs in a private mount+network namespace (sandbox-run), so the fixed paths
// are ours.

#include "../support/TestDaemon.h"

#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

#include <csignal>

class tst_Startup : public QObject
{
    Q_OBJECT

private:
    static QProcessEnvironment noBusEnv()
    {
        auto env = QProcessEnvironment::systemEnvironment();
        // A dead address rather than none: never let the bus library autolaunch one.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
        return env;
    }

private Q_SLOTS:
    void init()
    {
        TestDaemon::writeSettings(QString());
        QFile::remove(QLatin1String(TestDaemon::kLogFile));
        QFile::remove(QLatin1String(TestDaemon::kGpioFile));
    }

    void daemonizesAndLogsItsFirstLines()
    {
        // situation: debug lines go to the log file; no bus reachable
        TestDaemon::writeSettings(QStringLiteral("[DEBUG_MESSAGES]\nLog_Level=0\n"));
        TestDaemon daemon;
        QVERIFY(daemon.start(noBusEnv()));
        QCOMPARE(daemon.parentExitCode(), 0);
        QVERIFY(daemon.waitForLog(QStringLiteral("Can't connect to session bus!"), 3000));

        // expected: every line carries the starting process's identity, in this order
        const QStringList lines = TestDaemon::logLines();
        const QString identity = QStringLiteral("NOID(%1):").arg(daemon.parentPid());
        const QRegularExpression form(
            QStringLiteral("^NOID\\(\\d+\\):\\d{4}-\\d\\d-\\d\\d_\\d\\d:\\d\\d:\\d\\d:\\d{3} [DW] "));
        const QStringList expected = {
            QStringLiteral("W File: main Line:  98 :  starting the daemonizing process "),
            QStringLiteral("W File: main Line:  110 :  exit the parent process "),
            QStringLiteral("D File: main Line:  113 :  Change the file mode mask "),
            QStringLiteral("D File: main Line:  135 :  Close out the standard file descriptors  "),
            QStringLiteral("D File: cgpsprog Line:  113 :  CGps::constructor()"),
            QStringLiteral(" "),
            QString(),
            QStringLiteral("D File: cgpsprog Line:  1488 :  CGpsProg::readSettingsFromIniFile() :  "
                           "/etc/Vorlan/gps.ini "),
            QStringLiteral("D File: cgpsprog Line:  1318 :  Can't connect to session bus! "),
        };
        QVERIFY2(lines.size() >= expected.size(), qPrintable(lines.join(QLatin1Char('\n'))));
        for (int i = 0; i < expected.size(); ++i) {
            const QString &line = lines.at(i);
            if (expected.at(i).isEmpty() || expected.at(i) == QLatin1String(" ")) {
                QCOMPARE(line, expected.at(i)); // continuation lines of the constructor message
                continue;
            }
            QVERIFY2(line.startsWith(identity), qPrintable(line));
            QVERIFY2(form.match(line).hasMatch(), qPrintable(line));
            QCOMPARE(TestDaemon::messageOf(line), expected.at(i));
        }

        // expected: the settings file now holds every key of the shipped one with its
        // default; the key present is never rewritten
        const QSettings ini(QLatin1String(TestDaemon::kSettingsFile), QSettings::IniFormat);
        const QSettings shipped(QStringLiteral(VORLAN_SOURCE_DIR "/packaging/gps.ini"), QSettings::IniFormat);
        QCOMPARE(ini.allKeys(), shipped.allKeys());
        for (const QString &key : shipped.allKeys())
            QCOMPARE(ini.value(key).toString(), key.endsWith(QLatin1String("/Log_Level"))
                                                    ? QStringLiteral("0")
                                                    : shipped.value(key).toString());
    }

    void retriesTheBusAtTheConfiguredInterval()
    {
        // situation: TCP bus configured (non-numeric session switch counts as 0), nobody listening
        TestDaemon::writeSettings(
            QStringLiteral("[SETUP_GENERAL]\nUse_Session_Bus=true\nDbus_Connection_Retry=300\n"
                           "[DEBUG_MESSAGES]\nLog_Level=0\n"));
        TestDaemon daemon;
        QVERIFY(daemon.start(noBusEnv()));
        const QString failure = QStringLiteral(
            "D File: cgpsprog Line:  1320 :  Can't connect to  \"tcp:host=127.0.0.1,port=7777\" , "
            "\"remote\" ");
        QVERIFY(daemon.waitForLog(failure, 3000, 3));
        // expected: 50 ms, then every 300 ms: about 4 attempts in the first 1.1 s
        QThread::msleep(1100);
        const int attempts = daemon.countLog(QStringLiteral("Can't connect to"));
        QVERIFY2(attempts >= 4 && attempts <= 12, qPrintable(QString::number(attempts)));
        const QString first = TestDaemon::logLines().filter(QStringLiteral("Can't connect")).first();
        QCOMPARE(TestDaemon::messageOf(first), failure);
        QSettings ini(QLatin1String(TestDaemon::kSettingsFile), QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("SETUP_GENERAL/Use_Session_Bus")).toString(),
                 QStringLiteral("true"));
    }

    void unwritableLogDirectoryDoesNotStopTheDaemon()
    {
        // situation: the log directory is a plain file; console output on
        QDir(QStringLiteral("/var/log/Vorlan")).removeRecursively();
        QFile blocker(QStringLiteral("/var/log/Vorlan"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TestDaemon::writeSettings(QStringLiteral("[DEBUG_MESSAGES]\nDisplay_Message=1\nDisplay_Level=0\n"));
        TestDaemon daemon;
        QVERIFY(daemon.start(noBusEnv()));
        const QString out = QString::fromLatin1(daemon.parentOutput());
        // expected: the failure once, the console lines still there, the daemon alive
        QCOMPARE(out.count(QStringLiteral("open log file failed")), 1);
        QVERIFY2(out.contains(QStringLiteral("NOID(%1)open log file failed").arg(daemon.parentPid())),
                 qPrintable(out));
        QVERIFY(out.contains(QStringLiteral(" W File: main Line:  110 :  exit the parent process \n")));
        QThread::msleep(300);
        QVERIFY(daemon.isRunning());
        QVERIFY(daemon.sendSignal(SIGKILL));
        QVERIFY(daemon.waitForExit(3000));
        QFile::remove(QStringLiteral("/var/log/Vorlan"));
        QDir().mkpath(QStringLiteral("/var/log/Vorlan"));
    }
};

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
