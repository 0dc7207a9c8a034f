#include "CBenchRun.h"

#include "CBenchDrive.h"
#include "CBenchStats.h"
#include "CBenchSystem.h"
#include "CGpsdObserver.h"
#include "CProcStatus.h"
#include "CRotatedLog.h"
#include "CSignalClock.h"

#include "records/CGpsPoint.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace
{
constexpr double kNsPerMs = 1e6;
constexpr int kSettleMs = 3000;          // after the replay, for the last reports
constexpr int kClientStopMs = 60000;     // a client under callgrind dumps its profile first
constexpr int kDaemonStopMs = 120000;    // the daemon too
constexpr int kValgrindStartMs = 120000; // the daemon's start under callgrind
constexpr int kGpsdStartMs = 10000;
constexpr int kSecondsOfSpare = 10;
// gpsfake's own time per sentence on top of its cycle (Python, pty write),
// measured here; taken off the cycle so that a drive plays in real time.
constexpr double kGpsfakeSentenceSec = 0.0003;
constexpr int kQuietEndMs = 5000; // no new report from gpsd for this long: the drive has ended
constexpr double kMsPerMinute = 60000.0;
constexpr int kLinePosition = 915;  // every fix the daemon hands on (a warning: in the shipped log level)
constexpr int kLineReadError = 659; // gpsd closed the connection
constexpr int kLineNoData = 640;    // gpsd silent for too long
const char kGpsdPort[] = "2947";

QString clientBinary()
{
    return QStringLiteral(VORLAN_BINARY_DIR "/bench/vorlan-bench-client");
}

// The settings the board ships with.
QString shippedSettings()
{
    QFile file(QStringLiteral(VORLAN_SOURCE_DIR "/packaging/gps.ini"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString ms(double value)
{
    return QString::number(value, 'f', 3);
}

// What the daemon publishes of an epoch: whole seconds, so at 5 and 10 Hz
// the position and altitude tell the epochs of a second apart (it publishes
// only on a change of them).
QString publishedKey(qint64 fixMs, double latitude, double longitude, double altitude)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(fixMs / 1000)
        .arg(std::llround(latitude * 1e7))
        .arg(std::llround(longitude * 1e7))
        .arg(std::llround(altitude * 10));
}

// "FIX <ns> <fix ms> <lat> <lon>" lines and the closing "END <reports> <fixes> <peak kB>".
struct ClientOutput {
    QHash<qint64, qint64> firstFixNs; // fix ms -> arrival ns
    qint64 reports = -1;
    qint64 fixes = -1;
    qint64 peakRssKb = -1;
};

ClientOutput parseClient(const QByteArray &text)
{
    ClientOutput out;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.split(' ');
        if (f.value(0) == "FIX" && f.size() >= 5) {
            const qint64 fixMs = f.at(2).toLongLong();
            if (!out.firstFixNs.contains(fixMs))
                out.firstFixNs.insert(fixMs, f.at(1).toLongLong());
        } else if (f.value(0) == "END" && f.size() >= 4) {
            out.reports = f.at(1).toLongLong();
            out.fixes = f.at(2).toLongLong();
            out.peakRssKb = f.at(3).toLongLong();
        }
    }
    return out;
}

void addStats(CBenchRun::Figures &figures, const QString &prefix, const QList<double> &values)
{
    figures.insert(prefix + QStringLiteral(".count"), QString::number(values.size()));
    figures.insert(prefix + QStringLiteral(".median_ms"), ms(CBenchStats::median(values)));
    figures.insert(prefix + QStringLiteral(".p95_ms"), ms(CBenchStats::percentile(values, 95)));
    figures.insert(prefix + QStringLiteral(".min_ms"), ms(CBenchStats::minimum(values)));
    figures.insert(prefix + QStringLiteral(".max_ms"), ms(CBenchStats::maximum(values)));
}

bool stopProcess(QProcess &process, int timeoutMs)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    process.terminate();
    if (process.waitForFinished(timeoutMs))
        return true;
    process.kill();
    process.waitForFinished(kSettleMs);
    return false;
}

int countLines(const QStringList &lines, int number)
{
    const QString field = QStringLiteral("Line:  %1 :").arg(number);
    int n = 0;
    for (const QString &l : lines)
        n += l.contains(field) ? 1 : 0;
    return n;
}
} // namespace

QString CBenchRun::label() const
{
    return m_options.profile + QString::number(m_options.rateHz);
}

bool CBenchRun::makeDrive(const QString &path, CBenchDrive *drive, double *cycleSec)
{
    const Options &o = m_options;
    const int epochs = (o.seconds + kSecondsOfSpare) * o.rateHz;
    if (!drive->generate(path, o.rateHz, epochs, {QStringLiteral("--profile"), o.profile})) {
        m_error = drive->error();
        return false;
    }
    *cycleSec = std::max(0.0, drive->cycleFor(1.0 / o.rateHz) - kGpsfakeSentenceSec);
    return true;
}

CBenchRun::Figures CBenchRun::latency()
{
    const Options &o = m_options;
    const QString p = label() + QStringLiteral(".latency.");
    Figures f;
    if (!CBenchSystem::inSandbox()) {
        m_error = QStringLiteral("run inside scripts/sandbox-run");
        return f;
    }
    QTemporaryDir work;
    const QString drivePath = work.filePath(QStringLiteral("latency.nmea"));
    CBenchDrive drive;
    double cycleSec = 0.0;
    if (!makeDrive(drivePath, &drive, &cycleSec))
        return f;

    CBenchSystem system;
    if (!system.startServices({{QStringLiteral("setSetupGps"), gpsSetup(0, true)}}) ||
        !system.launchDaemon(shippedSettings()) || !system.runStartSequence()) {
        m_error = system.error;
        return f;
    }
    CRotatedLog log(QLatin1String(TestDaemon::kLogFile), 1);
    CSignalClock signalClock;
    if (!signalClock.start(system.bus.unixAddress())) {
        m_error = QStringLiteral("cannot listen on the bus");
        return f;
    }

    // Real time: an epoch every 1/rate s, as the receiver sends it.
    if (!system.gpsd.start(drivePath, cycleSec)) {
        m_error = system.gpsd.error();
        return f;
    }
    CGpsdObserver observer;
    if (!observer.start(TestGpsd::kPort)) {
        m_error = observer.error();
        return f;
    }
    QProcess client;
    client.setReadChannel(QProcess::StandardOutput);
    client.start(clientBinary(), {QStringLiteral("--port"), QLatin1String(kGpsdPort)});
    if (!client.waitForStarted()) {
        m_error = QStringLiteral("cannot start ") + clientBinary();
        return f;
    }
    QByteArray clientText;
    QObject::connect(&client, &QProcess::readyReadStandardOutput,
                     [&client, &clientText] { clientText += client.readAllStandardOutput(); });

    const qint64 startNs = CGpsdObserver::realtimeNs();
    const CProcStatus daemonStart = CProcStatus::read(system.daemonPid());
    const CProcStatus clientStart = CProcStatus::read(pid_t(client.processId()));
    // Until gpsd has had nothing new for a while (gpsfake stays up after the
    // last sentence); bounded by half as long again as the drive.
    const qint64 limitMs = qint64(drive.epochs()) * 1000 / o.rateHz * 3 / 2 + kQuietEndMs;
    int reports = 0;
    qint64 quietMs = 0;
    for (qint64 elapsedMs = 0; elapsedMs < limitMs && !(reports > 0 && quietMs >= kQuietEndMs);
         elapsedMs += 1000) {
        CBenchSystem::runFor(1000);
        log.poll();
        const int now = int(observer.reports().size());
        quietMs = now == reports ? quietMs + 1000 : 0;
        reports = now;
    }
    const double wallS = (CGpsdObserver::realtimeNs() - startNs) / 1e9;
    const CProcStatus daemonStatus = CProcStatus::read(system.daemonPid());
    const CProcStatus clientEnd = CProcStatus::read(pid_t(client.processId()));
    stopProcess(client, kSettleMs);
    clientText += client.readAllStandardOutput();
    observer.stop();
    system.gpsd.stop();
    int exitStatus = -1;
    system.stopDaemon(kSettleMs * 5, &exitStatus);
    signalClock.stop();
    log.finish();

    // The reference of each epoch: its first complete TPV leaving gpsd.
    QList<CGpsdObserver::Report> epochs;
    QSet<qint64> referenced;
    const auto tpvs = observer.reports();
    for (const CGpsdObserver::Report &r : tpvs) {
        if (r.complete && !referenced.contains(r.fixMs)) {
            referenced.insert(r.fixMs);
            epochs << r;
        }
    }
    // Each point published belongs to the first epoch after the last one
    // matched that it names.
    QHash<int, qint64> daemonNs; // epoch index -> arrival ns
    QHash<QString, QList<int>> epochsNamed;
    for (int i = 0; i < epochs.size(); ++i) {
        const CGpsdObserver::Report &r = epochs.at(i);
        epochsNamed[publishedKey(r.fixMs, r.latitude, r.longitude, r.altitude)] << i;
    }
    int matched = -1;
    const auto seen = signalClock.seen();
    for (const CSignalClock::Seen &s : seen) {
        const CGpsPoint point(s.bytes);
        const QList<int> named = epochsNamed.value(publishedKey(
            point.dateTime.toMSecsSinceEpoch(), point.latitude, point.longitude, point.altitude));
        const auto next = std::upper_bound(named.cbegin(), named.cend(), matched);
        if (next != named.cend()) {
            matched = *next;
            daemonNs.insert(matched, s.atNs);
        }
    }
    const ClientOutput c = parseClient(clientText);

    QList<double> daemonMs, clientMs;
    QList<QPair<double, double>> daemonTrend, clientTrend; // (minutes into the run, fix age ms)
    int published = 0, clientFixes = 0;
    const int warmup = o.warmupSeconds * o.rateHz;
    for (int i = warmup; i < epochs.size(); ++i) {
        const qint64 t0 = epochs.at(i).atNs;
        const qint64 fixMs = epochs.at(i).fixMs;
        const double atMin = (t0 - epochs.at(warmup).atNs) / kNsPerMs / kMsPerMinute;
        if (daemonNs.contains(i)) {
            daemonMs << (daemonNs.value(i) - t0) / kNsPerMs;
            daemonTrend << qMakePair(atMin, daemonMs.last());
            ++published;
        }
        if (c.firstFixNs.contains(fixMs)) {
            clientMs << (c.firstFixNs.value(fixMs) - t0) / kNsPerMs;
            clientTrend << qMakePair(atMin, clientMs.last());
            ++clientFixes;
        }
    }
    const int measured = std::max(0, int(epochs.size()) - warmup);
    f.insert(p + QStringLiteral("epochs_played"), QString::number(drive.epochs()));
    f.insert(p + QStringLiteral("epochs_seen"), QString::number(measured));
    f.insert(p + QStringLiteral("daemon.published"), QString::number(published));
    f.insert(p + QStringLiteral("client.published"), QString::number(clientFixes));
    f.insert(p + QStringLiteral("daemon.handed_on"), QString::number(countLines(log.lines(), kLinePosition)));
    f.insert(p + QStringLiteral("sentences_per_epoch"),
             QString::number(double(drive.sentences()) / qMax(1, drive.epochs()), 'f', 1));
    f.insert(p + QStringLiteral("gpsd_reports_per_epoch"),
             QString::number(double(observer.lines()) / qMax(1, int(epochs.size())), 'f', 1));
    // How fast the drive really played: receiver seconds per wall second.
    if (epochs.size() > 1) {
        const double fixS = (epochs.last().fixMs - epochs.first().fixMs) / 1000.0;
        const double wall = (epochs.last().atNs - epochs.first().atNs) / 1e9;
        f.insert(p + QStringLiteral("pace"), QString::number(wall > 0 ? fixS / wall : 0.0, 'f', 3));
    }
    addStats(f, p + QStringLiteral("daemon"), daemonMs);
    addStats(f, p + QStringLiteral("client"), clientMs);
    f.insert(p + QStringLiteral("daemon.slope_ms_per_min"),
             QString::number(CBenchStats::slope(daemonTrend), 'f', 1));
    f.insert(p + QStringLiteral("client.slope_ms_per_min"),
             QString::number(CBenchStats::slope(clientTrend), 'f', 1));
    const auto cpu = [wallS](const CProcStatus &a, const CProcStatus &b) {
        return a.cpuTicks < 0 || b.cpuTicks < 0 || wallS <= 0
                   ? QStringLiteral("nan")
                   : QString::number(
                         (b.cpuTicks - a.cpuTicks) / CProcStatus::ticksPerSecond() / wallS * 100.0, 'f', 2);
    };
    f.insert(p + QStringLiteral("daemon.cpu_percent"), cpu(daemonStart, daemonStatus));
    f.insert(p + QStringLiteral("client.cpu_percent"), cpu(clientStart, clientEnd));
    f.insert(p + QStringLiteral("daemon.peak_rss_kb"), QString::number(daemonStatus.peakRssKb));
    f.insert(p + QStringLiteral("client.peak_rss_kb"), QString::number(c.peakRssKb));
    f.insert(p + QStringLiteral("daemon_exit"), QString::number(exitStatus));
    return f;
}

CBenchRun::Figures CBenchRun::cost(bool idle)
{
    const Options &o = m_options;
    const QString role = idle ? QStringLiteral("idle") : QStringLiteral("drive");
    const QString p = idle ? QStringLiteral("idle.") : label() + QStringLiteral(".cost.");
    Figures f;
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    if (!CBenchSystem::inSandbox() || valgrind.isEmpty()) {
        m_error = QStringLiteral("needs valgrind and scripts/sandbox-run");
        return f;
    }
    QDir(o.workDir).mkpath(QStringLiteral("."));
    const QString out = QDir(o.workDir).absoluteFilePath(idle ? role : label());
    QDir(out).removeRecursively();
    QDir().mkpath(out);

    QTemporaryDir work;
    const QString drivePath = work.filePath(QStringLiteral("cost.nmea"));
    CBenchDrive drive;
    double cycleSec = 0.0;
    if (!idle && !makeDrive(drivePath, &drive, &cycleSec))
        return f;
    CBenchSystem system;
    const QStringList callgrind{valgrind, QStringLiteral("--tool=callgrind"),
                                QStringLiteral("--callgrind-out-file=%1/daemon.%p").arg(out),
                                QStringLiteral("--log-file=%1/daemon.log.%p").arg(out)};
    if (!system.startServices({{QStringLiteral("setSetupGps"), gpsSetup(0, true)}}) ||
        !system.launchDaemon(shippedSettings(), callgrind, kValgrindStartMs) ||
        !system.runStartSequence(kValgrindStartMs)) {
        m_error = system.error;
        return f;
    }
    CRotatedLog log(QLatin1String(TestDaemon::kLogFile), 1);

    // The measured time begins when gpsd is there: with the drive, or
    // without a receiver at all.
    QProcess bareGpsd;
    if (idle) {
        bareGpsd.setProcessChannelMode(QProcess::MergedChannels);
        bareGpsd.setStandardOutputFile(QProcess::nullDevice());
        // gpsd without devices runs only with a control socket.
        bareGpsd.start(CBenchSystem::sbinTool(QStringLiteral("gpsd")),
                       {QStringLiteral("-N"), QStringLiteral("-S"), QLatin1String(kGpsdPort),
                        QStringLiteral("-F"), work.filePath(QStringLiteral("gpsd.sock"))});
        if (!bareGpsd.waitForStarted(kGpsdStartMs)) {
            m_error = QStringLiteral("gpsd did not start");
            return f;
        }
        if (!CBenchSystem::waitForPort(TestGpsd::kPort, kGpsdStartMs)) {
            m_error = QStringLiteral("gpsd does not listen");
            return f;
        }
    } else if (!system.gpsd.start(drivePath, cycleSec)) {
        m_error = system.gpsd.error();
        return f;
    }
    QProcess client;
    client.start(valgrind, {QStringLiteral("--tool=callgrind"),
                            QStringLiteral("--callgrind-out-file=%1/client.%p").arg(out),
                            QStringLiteral("--log-file=%1/client.log.%p").arg(out), clientBinary(),
                            QStringLiteral("--quiet"), QStringLiteral("--port"), QLatin1String(kGpsdPort)});
    if (!client.waitForStarted()) {
        m_error = QStringLiteral("cannot start the client under valgrind");
        return f;
    }
    const qint64 clientPid = client.processId();

    for (int left = o.seconds; left > 0; --left) {
        CBenchSystem::runFor(1000);
        log.poll();
    }

    stopProcess(client, kClientStopMs);
    const ClientOutput c = parseClient(client.readAllStandardOutput());
    int exitStatus = -1;
    const int daemonPid = system.daemonPid();
    system.stopDaemon(kDaemonStopMs, &exitStatus);
    system.gpsd.stop();
    stopProcess(bareGpsd, kSettleMs);
    log.finish();

    f.insert(p + QStringLiteral("seconds"), QString::number(o.seconds));
    f.insert(p + QStringLiteral("epochs_per_sec"), QString::number(idle ? 0 : o.rateHz));
    f.insert(p + QStringLiteral("daemon_ir"),
             QString::number(callgrindTotal(QStringLiteral("%1/daemon.%2").arg(out).arg(daemonPid))));
    const QStringList lines = log.lines();
    f.insert(p + QStringLiteral("daemon_fixes"), QString::number(countLines(lines, kLinePosition)));
    f.insert(p + QStringLiteral("daemon_gpsd_dropped"),
             QString::number(countLines(lines, kLineReadError) + countLines(lines, kLineNoData)));
    f.insert(p + QStringLiteral("daemon_signals"),
             QString::number(system.peer->seen(QStringLiteral("sigActualGpsData")).size()));
    f.insert(p + QStringLiteral("daemon_exit"), QString::number(exitStatus));
    f.insert(p + QStringLiteral("client_ir"),
             QString::number(callgrindTotal(QStringLiteral("%1/client.%2").arg(out).arg(clientPid))));
    f.insert(p + QStringLiteral("client_fixes"), QString::number(c.fixes));
    f.insert(p + QStringLiteral("client_reports"), QString::number(c.reports));
    return f;
}

qint64 CBenchRun::callgrindTotal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 total = -1;
    // "summary: N" (older files) or "totals: N"; the first event is Ir.
    static const QRegularExpression line(QStringLiteral("^(?:summary|totals):\\s+(\\d+)"),
                                         QRegularExpression::MultilineOption);
    const QString text = QString::fromLatin1(file.readAll());
    auto it = line.globalMatch(text);
    while (it.hasNext())
        total = qMax(total, it.next().captured(1).toLongLong());
    return total;
}

bool CBenchRun::writeFigures(const Figures &figures, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (auto it = figures.constBegin(); it != figures.constEnd(); ++it)
        file.write((it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n')).toUtf8());
    return file.flush();
}

CBenchRun::Figures CBenchRun::readFigures(const QString &path)
{
    Figures figures;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return figures;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            figures.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return figures;
}

void CBenchRun::printTable(const Figures &f, QTextStream &out)
{
    // The profiles of the table in their order, then any other drive measured.
    QStringList labels;
    for (const char *known : {"gps1", "multi1", "multi5", "multi10"})
        labels << QLatin1String(known);
    for (auto it = f.constBegin(); it != f.constEnd(); ++it) {
        const QString label = it.key().section(QLatin1Char('.'), 0, 0);
        if (label != QLatin1String("idle") && !labels.contains(label))
            labels << label;
    }
    QStringList present;
    for (const QString &label : labels)
        if (f.contains(label + QStringLiteral(".latency.epochs_played")) ||
            f.contains(label + QStringLiteral(".cost.daemon_ir")))
            present << label;

    const auto num = [&f](const QString &key) {
        bool ok = false;
        const double v = f.value(key).toDouble(&ok);
        return ok ? v : std::nan("");
    };
    const auto cell = [](double v, int decimals) {
        return std::isfinite(v) ? QString::number(v, 'f', decimals) : QStringLiteral("-");
    };
    const auto row = [&out](const QString &name, const QStringList &cells) {
        out << name.leftJustified(34);
        for (const QString &c : cells)
            out << c.rightJustified(12);
        out << Qt::endl;
    };
    // One value for the daemon and one for the client per profile.
    const auto pairRow = [&](const QString &name, const QString &daemonKey, const QString &clientKey,
                             int decimals) {
        QStringList cells;
        for (const QString &l : present)
            cells << cell(num(l + daemonKey), decimals) << cell(num(l + clientKey), decimals);
        row(name, cells);
    };
    const auto sharedRow = [&](const QString &name, const QString &key, int decimals) {
        QStringList cells;
        for (const QString &l : present)
            cells << QString() << cell(num(l + key), decimals);
        row(name, cells);
    };

    QStringList heads, sides;
    for (const QString &l : present) {
        const int split = int(l.indexOf(QRegularExpression(QStringLiteral("\\d"))));
        heads << QString() << (l.left(split) + QLatin1Char(' ') + l.mid(split) + QStringLiteral(" Hz"));
        sides << QStringLiteral("vorlan-gps") << QStringLiteral("client");
    }
    row(QString(), heads);
    row(QStringLiteral("measure"), sides);
    for (const char *stat : {"median", "p95", "max"})
        pairRow(QStringLiteral("fix age %1 (ms)").arg(QLatin1String(stat)),
                QStringLiteral(".latency.daemon.%1_ms").arg(QLatin1String(stat)),
                QStringLiteral(".latency.client.%1_ms").arg(QLatin1String(stat)), 1);
    pairRow(QStringLiteral("fix age slope (ms per minute)"),
            QStringLiteral(".latency.daemon.slope_ms_per_min"),
            QStringLiteral(".latency.client.slope_ms_per_min"), 1);
    sharedRow(QStringLiteral("epochs played"), QStringLiteral(".latency.epochs_played"), 0);
    sharedRow(QStringLiteral("  seen from gpsd (after warm-up)"), QStringLiteral(".latency.epochs_seen"), 0);
    pairRow(QStringLiteral("  published / printed of those"), QStringLiteral(".latency.daemon.published"),
            QStringLiteral(".latency.client.published"), 0);
    pairRow(QStringLiteral("  handed on (log line 915), all"), QStringLiteral(".latency.daemon.handed_on"),
            QStringLiteral(".latency.none"), 0);
    pairRow(QStringLiteral("CPU (% of one core)"), QStringLiteral(".latency.daemon.cpu_percent"),
            QStringLiteral(".latency.client.cpu_percent"), 2);

    // Instructions per epoch handled: the drive's count less the idle run's
    // over the same time.
    QStringList irCells;
    for (const QString &l : present) {
        const double scale = num(l + QStringLiteral(".cost.seconds")) / num(QStringLiteral("idle.seconds"));
        for (const char *who : {"daemon", "client"}) {
            const QString w = QLatin1String(who);
            const double ir = num(l + QStringLiteral(".cost.%1_ir").arg(w)) -
                              num(QStringLiteral("idle.%1_ir").arg(w)) * scale;
            irCells << cell(ir / num(l + QStringLiteral(".cost.%1_fixes").arg(w)) / 1000.0, 1);
        }
    }
    row(QStringLiteral("instructions per epoch (k)"), irCells);
    pairRow(QStringLiteral("  epochs in the callgrind run"), QStringLiteral(".cost.daemon_fixes"),
            QStringLiteral(".cost.client_fixes"), 0);
    sharedRow(QStringLiteral("receiver sentences per epoch"), QStringLiteral(".latency.sentences_per_epoch"),
              1);
    sharedRow(QStringLiteral("gpsd JSON reports per epoch"),
              QStringLiteral(".latency.gpsd_reports_per_epoch"), 1);
    sharedRow(QStringLiteral("replay pace (receiver s per s)"), QStringLiteral(".latency.pace"), 3);
    pairRow(QStringLiteral("peak RSS (kB)"), QStringLiteral(".latency.daemon.peak_rss_kb"),
            QStringLiteral(".latency.client.peak_rss_kb"), 0);
}
