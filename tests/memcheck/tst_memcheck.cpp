// The daemon under valgrind's memcheck from daemonizing through the start
// sequence and fixes from gpsd to SIGTERM: no memory error in either process.
// It ends with _exit on purpose; only "definitely lost" blocks count.

#include "../support/SystemFixture.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>

namespace
{
// Everything runs some 20 to 50 times slower under memcheck.
constexpr int kStepTimeoutMs = 90000;
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
        QTemporaryDir dir; // one report file per process
        const auto reportOf = [&dir](pid_t pid) {
            return TestDaemon::readFile(dir.filePath(QStringLiteral("memcheck.%1").arg(pid)));
        };
        SystemFixture f;
        f.daemon.wrapper =
            QStringList{valgrind} +
            QStringLiteral("--tool=memcheck --trace-children=yes --child-silent-after-fork=no "
                           "--leak-check=full --show-leak-kinds=definite "
                           "--errors-for-leak-kinds=definite --error-exitcode=99 --num-callers=30")
                .split(QLatin1Char(' ')) +
            QStringList{"--suppressions=" VORLAN_MEMCHECK_SUPPRESSIONS,
                        "--log-file=" + dir.filePath(QStringLiteral("memcheck.%p"))};
        f.daemon.startTimeoutMs = kStepTimeoutMs;
        QVERIFY2(f.startBus() && f.startStore(), qPrintable(f.error));
        const bool started = f.startDaemon(); // the parent exits 0: no error of its own
        const QString parentReport = reportOf(f.daemon.parentPid());
        QVERIFY2(started && parentReport.contains(QLatin1String("ERROR SUMMARY: 0 errors")),
                 qPrintable(parentReport));
        QVERIFY(f.requestStart(kStepTimeoutMs));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Start Gps timer"), kStepTimeoutMs));
        TestDrive drive; // real time: memcheck keeps pace
        QVERIFY2(drive.generate({"--duration", QString::number(kDriveSeconds)}, 0, kDriveSeconds),
                 qPrintable(drive.error()));
        QVERIFY2(f.play(drive, 1.0), qPrintable(f.error));
        QVERIFY(f.daemon.waitForLog(QStringLiteral("Send GPS data to Logbook"), kStepTimeoutMs));
        QVERIFY(f.daemon.sendSignal(SIGTERM));
        int status = -1;
        QVERIFY(f.daemon.waitForExit(kStepTimeoutMs, &status));
        const QString report = reportOf(f.daemon.pid());
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
