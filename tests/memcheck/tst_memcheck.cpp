// The daemon under valgrind's memcheck from daemonizing through the start
// sequence and fixes from gpsd to SIGTERM: no memory error in either process.
// It ends with _exit on purpose; only "definitely lost" blocks count.

#include "../support/SystemFixture.h"
#include "../support/TestDrive.h"
#include "../support/TestGpsd.h"
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace
{
// Everything runs some 20 to 50 times slower under memcheck.
constexpr int kStepTimeoutMs = 90000;
constexpr int kPollMs = 50;
constexpr int kStartAttempts = 20;
constexpr int kStartAttemptMs = 3000;
constexpr int kDriveSeconds = 40;
// Three timers and the heartbeat thread of the main object (vorlan-gps.supp).
constexpr qint64 kExitTimeBlocks = 4;
} // namespace

class tst_Memcheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void daemonRunsWithoutMemoryErrors()
    {
        const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
        if (valgrind.isEmpty() || !TestGpsd::isInstalled())
            QSKIP("valgrind or gpsd/gpsfake is not installed");
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        QTemporaryDir dir;
        SystemFixture system;
        QVERIFY2(dir.isValid() && system.startBus() && system.startStore(), qPrintable(system.error));
        TestDaemon::writeSettings(QStringLiteral("[DEBUG_MESSAGES]\nLog_Level=0\nLogfile_Size=50000000\n"));
        QFile::remove(QLatin1String(TestDaemon::kLogFile));
        QProcess parent; // one report file per process
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), system.bus.unixAddress());
        parent.setProcessEnvironment(env);
        parent.setProcessChannelMode(QProcess::MergedChannels);
        parent.setStandardOutputFile(dir.filePath(QStringLiteral("parent.out")));
        parent.start(valgrind,
                     {"--tool=memcheck", "--trace-children=yes", "--child-silent-after-fork=no",
                      "--leak-check=full", "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
                      "--error-exitcode=99", "--num-callers=30",
                      "--suppressions=" VORLAN_MEMCHECK_SUPPRESSIONS,
                      "--log-file=" + dir.filePath(QStringLiteral("memcheck.%p")), TestDaemon::binary()});
        QVERIFY(parent.waitForStarted());
        const pid_t parentPid = pid_t(parent.processId());
        pid_t daemon = -1;
        const auto cleanUp = qScopeGuard([&parent, &daemon] {
            if (daemon > 0 && ::kill(daemon, SIGKILL) == 0)
                waitpid(daemon, nullptr, 0);
            parent.kill();
            parent.waitForFinished(3000);
        });
        // This process is a subreaper: the forked daemon becomes its child.
        for (QDeadlineTimer forked(kStepTimeoutMs); daemon < 0 && !forked.hasExpired();
             QThread::msleep(kPollMs))
            for (const pid_t pid : TestDaemon::childrenOf(getpid())) {
                QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid)); // its arguments name the binary
                if (pid != parentPid && cmdline.open(QIODevice::ReadOnly) &&
                    cmdline.readAll().contains(QFile::encodeName(TestDaemon::binary())))
                    daemon = pid;
            }
        QVERIFY2(daemon > 0, "the daemon did not fork");
        QVERIFY(parent.waitForFinished(kStepTimeoutMs));
        const auto reportOf = [&dir](pid_t pid) {
            return TestDaemon::readFile(dir.filePath(QStringLiteral("memcheck.%1").arg(pid)));
        };
        const QString parentReport = reportOf(parentPid);
        QVERIFY2(parent.exitCode() == 0 && parentReport.contains(QLatin1String("ERROR SUMMARY: 0 errors")),
                 qPrintable(parentReport));
        // A start request before the daemon subscribes is lost; a second one is ignored.
        TestDaemon log;
        const auto logged =
            [&log](const char *text) {
                const bool found = log.waitForLog(QLatin1String(text), kStepTimeoutMs);
                if (!found)
                    qWarning().noquote()
                        << TestDaemon::logLines().mid(TestDaemon::logLines().size() - 30).join('\n');
                return found;
            };
        QVERIFY(logged("Connected to session bus!"));
        bool started = false;
        for (int attempt = 0; attempt < kStartAttempts && !started; ++attempt) {
            system.peer->emitSignal(QStringLiteral("sigProcessStart"), {system.peer->pid(), int(daemon)});
            started = log.waitForLog(QStringLiteral("signal 'SetSystemReady' received"), kStartAttemptMs);
        }
        QVERIFY(logged("Start Gps timer"));
        TestDrive drive; // real time: memcheck keeps pace
        const QString nmea = dir.filePath(QStringLiteral("drive.nmea"));
        QVERIFY2(drive.generate({"--duration", QString::number(kDriveSeconds)}, 0, kDriveSeconds) &&
                     drive.write(nmea),
                 qPrintable(drive.error()));
        TestGpsd gpsd;
        QVERIFY2(gpsd.start(nmea, drive.cycleFor(1.0)), qPrintable(gpsd.error()));
        QVERIFY(logged("Send GPS data to Logbook"));
        QVERIFY(::kill(daemon, SIGTERM) == 0);
        int status = -1;
        const QDeadlineTimer exitDeadline(kStepTimeoutMs);
        while (waitpid(daemon, &status, WNOHANG) != daemon && !exitDeadline.hasExpired())
            QThread::msleep(kPollMs);
        QVERIFY(WIFEXITED(status) || WIFSIGNALED(status));
        const QString report = reportOf(daemon);
        daemon = -1;
        const bool clean = report.contains(QLatin1String("ERROR SUMMARY: 0 errors")) &&
                           report.contains(QLatin1String("definitely lost: 0 bytes in 0 blocks")) &&
                           WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!clean)
            qInfo().noquote() << report; // whole, unlike a failure message
        QVERIFY(clean);
        // Each suppressed block is made once; more would be a leak that grows.
        const auto suppressed =
            QRegularExpression(QStringLiteral("suppressed: [0-9,]+ bytes in ([0-9,]+) blocks")).match(report);
        QVERIFY2(!suppressed.hasMatch() ||
                     suppressed.captured(1).remove(QLatin1Char(',')).toLongLong() <= kExitTimeBlocks,
                 qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(tst_Memcheck)
#include "tst_memcheck.moc"
