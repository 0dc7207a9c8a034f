#include "CSoakRun.h"

#include "CBenchDrive.h"
#include "CBenchStats.h"
#include "CBenchSystem.h"
#include "CProcStatus.h"
#include "CRotatedLog.h"

#include "logging/CLogStream.h"
#include "records/CRuntimeGps.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>

namespace
{
constexpr int kCollectMs = 100;
constexpr int kAnswerTimeoutMs = 10000;
constexpr int kExitTimeoutMs = 20000;
constexpr int kWrappedStartMs = 120000; // a daemon under valgrind starts slowly
constexpr qint64 kHeartbeatWindowMs = 10000;
// The heartbeat thread beats every 0.8 s; a few may be late on a loaded machine.
constexpr int kMinHeartbeats = 4;
// The replay outlasts the measured time, so the daemon is never idle in it.
constexpr double kSpareFeed = 1.1;
constexpr int kSpareFeedSeconds = 30;
constexpr double kSecPerMinute = 60.0;

// Log line numbers of the daemon (its "Line:" field) that pair with calls.
constexpr int kLineRuntimeOk = 1064;
constexpr int kLineRuntimeFailed = 1060;
constexpr int kLineTrackPoint = 1102;
constexpr int kLineTriggerOk = 1161;
constexpr int kLineTriggerFailed = 1157;
constexpr int kLineLogEntryOk = 1349;
constexpr int kLineLogEntryFailed = 1345;
constexpr int kLinePosition = 915;  // every SaveGPSData
constexpr int kLineDecision = 921;  // every SaveGPSData, debug level
constexpr int kLineReadError = 659; // gpsd closed the connection
constexpr int kLineNoData = 640;    // gpsd silent too long
constexpr int kLineSigterm = 249;

struct LogLine {
    int number = -1; // -1: no "Line:" field
    QString message;
};

QList<LogLine> parseLines(const QStringList &lines)
{
    static const QRegularExpression field(QStringLiteral("File: cgpsprog Line:\\s+(\\d+) "));
    QList<LogLine> out;
    for (const QString &line : lines) {
        const QString message = TestDaemon::messageOf(line);
        const QRegularExpressionMatch m = field.match(message);
        out.append({m.hasMatch() ? m.captured(1).toInt() : -1, message});
    }
    return out;
}

int countNumber(const QList<LogLine> &lines, int number)
{
    int n = 0;
    for (const LogLine &l : lines)
        n += l.number == number ? 1 : 0;
    return n;
}

// Compares how many lines the log should have (one per call the data
// service took, or per line of a pair) with how many it has; returns the
// difference and adds a problem for it.
int unmatched(const QString &what, int expected, int lines, QStringList *problems)
{
    if (expected == lines)
        return 0;
    *problems << QStringLiteral("%1: %2 expected, the log has %3 lines for them")
                     .arg(what)
                     .arg(expected)
                     .arg(lines);
    return qAbs(expected - lines);
}

// Each published runtime record (the store's setRuntimeGps calls, in order)
// against the daemon's "GPS data : Lat ... Lon ..." lines, in order.
int unmatchedRuntime(const QList<SystemFixture::Call> &calls, const QList<LogLine> &lines,
                     QStringList *problems)
{
    static const QRegularExpression latLon(QStringLiteral("GPS data : Lat\\s+(\\S+)\\s+Lon\\s+(\\S+)"));
    QStringList stored;
    int failedCalls = 0;
    for (const SystemFixture::Call &c : calls) {
        if (c.member != QLatin1String("setRuntimeGps"))
            continue;
        if (c.reply != QLatin1String("1")) {
            ++failedCalls;
            continue;
        }
        CRuntimeGps record;
        record.parse(c.bytes);
        stored << CLogStream::numberText(record.latitude()) + QLatin1Char('/') +
                      CLogStream::numberText(record.longitude());
    }
    QStringList logged;
    for (const LogLine &l : lines) {
        if (l.number != kLineRuntimeOk)
            continue;
        const QRegularExpressionMatch m = latLon.match(l.message);
        logged << (m.hasMatch() ? m.captured(1) + QLatin1Char('/') + m.captured(2) : QStringLiteral("?"));
    }
    int missing =
        unmatched(QStringLiteral("setRuntimeGps"), int(stored.size()), int(logged.size()), problems);
    missing += unmatched(QStringLiteral("setRuntimeGps refused"), failedCalls,
                         countNumber(lines, kLineRuntimeFailed), problems);
    for (int i = 0; i < qMin(stored.size(), logged.size()); ++i) {
        if (stored.at(i) != logged.at(i)) {
            *problems << QStringLiteral("runtime record %1: the data service got %2, the log says %3")
                             .arg(i)
                             .arg(stored.at(i), logged.at(i));
            return missing + 1;
        }
    }
    return missing;
}

int countCalls(const QList<SystemFixture::Call> &calls, const QString &member)
{
    int n = 0;
    for (const SystemFixture::Call &c : calls)
        n += c.member == member ? 1 : 0;
    return n;
}

} // namespace

CSoakRun::Trend CSoakRun::trend(const QList<Sample> &samples,
                                const std::function<double(const Sample &)> &value)
{
    Trend t;
    if (samples.isEmpty())
        return t;
    QList<double> values;
    QList<QPair<double, double>> points;
    for (const Sample &s : samples) {
        values << value(s);
        points << qMakePair(s.atSec / kSecPerMinute, value(s));
    }
    t.first = values.first();
    t.last = values.last();
    t.minimum = CBenchStats::minimum(values);
    t.maximum = CBenchStats::maximum(values);
    t.slopePerMinute = CBenchStats::slope(points);
    const int quarter = qMax(1, int(values.size()) / 4);
    t.growth = CBenchStats::median(values.mid(values.size() - quarter)) -
               CBenchStats::median(values.mid(0, quarter));
    return t;
}

CSoakRun::Result CSoakRun::run(const std::function<void(const QString &)> &progress)
{
    const Options &o = m_options;
    Result r;
    if (!CBenchSystem::inSandbox()) {
        r.skipped = true;
        r.skipReason =
            QStringLiteral("run inside scripts/sandbox-run: the daemon's fixed paths must be private");
        return r;
    }
    if (!TestGpsd::isInstalled()) {
        r.skipped = true;
        r.skipReason = QStringLiteral("gpsfake or gpsd is not installed");
        return r;
    }

    QTemporaryDir work;
    const QString drivePath = work.filePath(QStringLiteral("soak.nmea"));
    CBenchDrive drive;
    const int epochs = int(std::ceil((o.driveSeconds * kSpareFeed + kSpareFeedSeconds) * o.rateHz * o.speed));
    if (!drive.generate(drivePath, o.rateHz, epochs)) {
        r.problems << drive.error();
        return r;
    }

    CBenchSystem system;
    // GPS on without time sync (the drive's clock is not the machine's); a
    // track point every second, so the logbook calls are many.
    if (!system.startServices(
            {{QStringLiteral("setSetupGps"), gpsSetup(0, true)},
             {QStringLiteral("setSetupGpsTracking"), trackingSetup(2, 1, 0, 0)}})) {
        r.problems << QStringLiteral("the system did not start: ") + system.error;
        return r;
    }
    const QString logFile = QLatin1String(TestDaemon::kLogFile);
    const QString settings =
        QStringLiteral("[DEBUG_MESSAGES]\nLog_Level=0\nLogfile_Size=%1\nLogfile_Redundancy=%2\n")
            .arg(o.logfileSize)
            .arg(o.logfileRedundancy);
    CRotatedLog log(logFile, o.logfileRedundancy);
    // The start is judged by the data service's calls: the daemon's own
    // lines may already have rotated away.
    if (!system.launchDaemon(settings, o.wrapper) ||
        !system.runStartSequence(CBenchSystem::kStartTimeoutMs, &log)) {
        r.problems << system.error;
        return r;
    }
    const int daemonPid = system.daemonPid();

    if (!system.gpsd.start(drivePath, drive.cycleFor(1.0 / (o.rateHz * o.speed)))) {
        r.problems << QStringLiteral("gpsd did not start: ") + system.gpsd.error();
        return r;
    }

    // The drive: collect the log, sample the daemon.
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer collect;
    QObject::connect(&collect, &QTimer::timeout, [&log] { log.poll(); });
    collect.start(kCollectMs);
    QTimer sampler;
    bool died = false;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const CProcStatus status = CProcStatus::read(daemonPid);
        const double at = clock.elapsed() / 1000.0;
        if (!status.isValid()) {
            died = true;
            r.problems << QStringLiteral("the daemon died %1 s into the drive").arg(at, 0, 'f', 1);
            loop.quit();
            return;
        }
        r.samples.append({at, status.rssKb, status.fds, status.threads});
        const int n = int(r.samples.size());
        if (progress && n % 60 == 0)
            progress(QStringLiteral("%1 min: RSS %2 kB, %3 fds, %4 threads, %5 rotations, %6 signals")
                         .arg(n / 60)
                         .arg(status.rssKb)
                         .arg(status.fds)
                         .arg(status.threads)
                         .arg(log.rotations())
                         .arg(system.peer->seen(QStringLiteral("sigActualGpsData")).size()));
    });
    sampler.start(o.sampleMs);
    QTimer::singleShot(o.driveSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    sampler.stop();
    collect.stop();

    if (!died) {
        // Still answering: a name request, and the heartbeat going on.
        const int names = int(system.peer->seen(QStringLiteral("sigSendName")).size());
        system.peer->emitSignal(QStringLiteral("sigGetName"), {system.peer->pid(), daemonPid});
        r.answering = system.peer->waitFor(QStringLiteral("sigSendName"), names + 1, kAnswerTimeoutMs);
        if (!r.answering)
            r.problems << QStringLiteral("the daemon did not answer a name request");
        const qint64 since = QDateTime::currentMSecsSinceEpoch() - kHeartbeatWindowMs;
        int beats = 0;
        const auto triggers = system.peer->seen(QStringLiteral("sigTrigger"));
        for (const auto &t : triggers)
            beats += t.wallMs > since ? 1 : 0;
        if (beats < kMinHeartbeats)
            r.problems << QStringLiteral("only %1 heartbeats in the last %2 s")
                              .arg(beats)
                              .arg(kHeartbeatWindowMs / 1000);
    }
    system.gpsd.stop();
    log.poll();

    // A clean end writes the last lines and closes the file.
    if (!died) {
        if (system.stopDaemon(o.wrapper.isEmpty() ? kExitTimeoutMs : kWrappedStartMs, &r.exitStatus)) {
            if (r.exitStatus != 0)
                r.problems << QStringLiteral("the daemon ended with status %1").arg(r.exitStatus);
        } else {
            r.problems << QStringLiteral("the daemon did not end on SIGTERM");
        }
    }
    log.finish();

    // Flat after the warm-up.
    QList<Sample> judged;
    for (const Sample &s : r.samples)
        if (s.atSec >= o.warmupSeconds)
            judged << s;
    r.judgedSamples = int(judged.size());
    r.rss = trend(judged, [](const Sample &s) { return double(s.rssKb); });
    r.fds = trend(judged, [](const Sample &s) { return double(s.fds); });
    r.threads = trend(judged, [](const Sample &s) { return double(s.threads); });
    if (judged.size() < 4) {
        r.problems << QStringLiteral("only %1 samples after the warm-up").arg(judged.size());
    } else {
        if (r.fds.growth > o.maxFdGrowth)
            r.problems << QStringLiteral("open descriptors grew by %1 (limit %2)")
                              .arg(r.fds.growth)
                              .arg(o.maxFdGrowth);
        if (r.threads.growth > o.maxThreadGrowth)
            r.problems << QStringLiteral("threads grew by %1 (limit %2)")
                              .arg(r.threads.growth)
                              .arg(o.maxThreadGrowth);
        if (o.checkRss && r.rss.growth > o.maxRssGrowthKb)
            r.problems << QStringLiteral("resident memory grew by %1 kB (limit %2 kB)")
                              .arg(r.rss.growth)
                              .arg(o.maxRssGrowthKb);
    }

    // Nothing lost across the rotations.
    const QList<LogLine> lines = parseLines(log.lines());
    r.logLines = int(lines.size());
    r.rotations = log.rotations();
    r.problems += log.continuityProblems();
    if (r.rotations < o.minRotations)
        r.problems << QStringLiteral("the log rotated only %1 times").arg(r.rotations);
    const qint64 smallest = log.smallestRotatedBytes();
    if (smallest >= 0 && smallest <= o.logfileSize)
        r.problems
            << QStringLiteral("a rotated log file holds only %1 bytes: part of it is missing").arg(smallest);
    if (countNumber(lines, kLineSigterm) != 1 && r.exitStatus == 0)
        r.problems << QStringLiteral("the log lacks the SIGTERM line");

    const QList<SystemFixture::Call> calls = system.calls();
    r.fixes = countNumber(lines, kLinePosition);
    r.storedRuntime = countCalls(calls, QStringLiteral("setRuntimeGps"));
    r.storedTrackPoints = countCalls(calls, QStringLiteral("setLogbookDataTracking"));
    r.daemonReconnects = countNumber(lines, kLineReadError) + countNumber(lines, kLineNoData);
    r.lostLines += unmatchedRuntime(calls, lines, &r.problems);
    r.lostLines += unmatched(QStringLiteral("setLogbookDataTracking"), r.storedTrackPoints,
                             countNumber(lines, kLineTrackPoint), &r.problems);
    r.lostLines +=
        unmatched(QStringLiteral("setRuntimeTriggerFtpTransfer"),
                  countCalls(calls, QStringLiteral("setRuntimeTriggerFtpTransfer")),
                  countNumber(lines, kLineTriggerOk) + countNumber(lines, kLineTriggerFailed), &r.problems);
    r.lostLines +=
        unmatched(QStringLiteral("setLogbookGPS"), countCalls(calls, QStringLiteral("setLogbookGPS")),
                  countNumber(lines, kLineLogEntryOk) + countNumber(lines, kLineLogEntryFailed), &r.problems);
    // Lines 915 (warning) and 921 (debug) are written for every fix handed on.
    r.lostLines += unmatched(QStringLiteral("fix decisions (line 921)"), r.fixes,
                             countNumber(lines, kLineDecision), &r.problems);
    if (r.fixes < o.minFixes)
        r.problems << QStringLiteral("only %1 fixes reached the daemon's tracking").arg(r.fixes);
    return r;
}

void CSoakRun::printSummary(const Result &r, const Options &o, QTextStream &out)
{
    if (r.skipped) {
        out << "soak skipped: " << r.skipReason << Qt::endl;
        return;
    }
    const auto row = [&out](const char *name, const Trend &t, const char *unit) {
        out << QStringLiteral("  %1 %2 .. %3 %4, growth %5, slope %6 %4/min, first %7, last %8")
                   .arg(QLatin1String(name), -8)
                   .arg(t.minimum)
                   .arg(t.maximum)
                   .arg(QLatin1String(unit))
                   .arg(t.growth)
                   .arg(t.slopePerMinute, 0, 'f', 2)
                   .arg(t.first)
                   .arg(t.last)
            << Qt::endl;
    };
    out << QStringLiteral("soak: %1 s of a %2 Hz drive at %3x, %4 samples, %5 after the %6 s warm-up")
               .arg(o.driveSeconds)
               .arg(o.rateHz)
               .arg(o.speed)
               .arg(r.samples.size())
               .arg(r.judgedSamples)
               .arg(o.warmupSeconds)
        << Qt::endl;
    row("RSS", r.rss, "kB");
    row("fds", r.fds, "");
    row("threads", r.threads, "");
    out << QStringLiteral("  log: %1 lines in %2 rotated files + the live one (size %3, redundancy %4)")
               .arg(r.logLines)
               .arg(r.rotations)
               .arg(o.logfileSize)
               .arg(o.logfileRedundancy)
        << Qt::endl;
    out << QStringLiteral("  fixes %1, setRuntimeGps %2, track points %3, calls without log line %4, "
                          "gpsd connections lost %5")
               .arg(r.fixes)
               .arg(r.storedRuntime)
               .arg(r.storedTrackPoints)
               .arg(r.lostLines)
               .arg(r.daemonReconnects)
        << Qt::endl;
    out << QStringLiteral("  answering %1, exit status %2")
               .arg(r.answering ? QStringLiteral("yes") : QStringLiteral("no"))
               .arg(r.exitStatus)
        << Qt::endl;
    for (const QString &p : r.problems)
        out << "  PROBLEM: " << p << Qt::endl;
    out << (r.problems.isEmpty() ? "soak: PASS" : "soak: FAIL") << Qt::endl;
}
