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
#include <QStandardPaths>

#include <cmath>

namespace
{
constexpr double kNsPerMs = 1e6;
constexpr int kSettleMs = 3000;          // after the replay, for the last reports
constexpr int kClientStopMs = 60000;     // a client under callgrind dumps its profile first
constexpr int kDaemonStopMs = 120000;    // the daemon too
constexpr int kValgrindStartMs = 120000; // the daemon's start under callgrind
constexpr int kGpsdStartMs = 10000;
constexpr int kEpochsOfSpare = 10;
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
        if (f.value(0) == "FIX" && f.size() >= 3) {
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

CBenchRun::Figures CBenchRun::latency()
{
    const Options &o = m_options;
    Figures f;
    if (!CBenchSystem::inSandbox()) {
        m_error = QStringLiteral("run inside scripts/sandbox-run");
        return f;
    }
    QTemporaryDir work;
    const QString drivePath = work.filePath(QStringLiteral("latency.nmea"));
    CBenchDrive drive;
    if (!drive.generate(drivePath, 1, o.latencyEpochs)) {
        m_error = drive.error();
        return f;
    }

    CBenchSystem system;
    if (!system.startServices({{QStringLiteral("setSetupGps"), gpsSetup(0, true)}}) ||
        !system.launchDaemon(shippedSettings()) || !system.runStartSequence()) {
        m_error = system.error;
        return f;
    }
    CSignalClock signalClock;
    if (!signalClock.start(system.bus.unixAddress())) {
        m_error = QStringLiteral("cannot listen on the bus");
        return f;
    }

    // Real time: one epoch per second, as the receiver sends it.
    if (!system.gpsd.start(drivePath, drive.cycleFor(1.0))) {
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

    CBenchSystem::runFor(drive.epochs() * 1000 + kSettleMs);

    const CProcStatus daemonStatus = CProcStatus::read(system.daemonPid());
    stopProcess(client, kSettleMs);
    clientText += client.readAllStandardOutput();
    observer.stop();
    system.gpsd.stop();
    int exitStatus = -1;
    system.stopDaemon(kSettleMs * 5, &exitStatus);
    signalClock.stop();

    // The reference of each epoch: its first complete TPV leaving gpsd.
    QHash<qint64, qint64> reference;
    QList<qint64> epochOrder;
    const auto reports = observer.reports();
    for (const CGpsdObserver::Report &r : reports) {
        if (r.complete && !reference.contains(r.fixMs)) {
            reference.insert(r.fixMs, r.atNs);
            epochOrder << r.fixMs;
        }
    }
    QHash<qint64, qint64> daemonNs;
    const auto seen = signalClock.seen();
    for (const CSignalClock::Seen &s : seen) {
        const qint64 fixMs = CGpsPoint(s.bytes).dateTime.toMSecsSinceEpoch();
        if (!daemonNs.contains(fixMs))
            daemonNs.insert(fixMs, s.atNs);
    }
    const ClientOutput c = parseClient(clientText);

    QList<double> daemonMs;
    QList<double> clientMs;
    QList<double> pairedRatio;
    int unpublished = 0;
    for (int i = o.warmupEpochs; i < epochOrder.size(); ++i) {
        const qint64 epoch = epochOrder.at(i);
        const qint64 t0 = reference.value(epoch);
        const bool hasDaemon = daemonNs.contains(epoch);
        const bool hasClient = c.firstFixNs.contains(epoch);
        if (hasDaemon)
            daemonMs << (daemonNs.value(epoch) - t0) / kNsPerMs;
        else
            ++unpublished;
        if (hasClient)
            clientMs << (c.firstFixNs.value(epoch) - t0) / kNsPerMs;
        if (hasDaemon && hasClient && c.firstFixNs.value(epoch) > t0)
            pairedRatio << double(daemonNs.value(epoch) - t0) / double(c.firstFixNs.value(epoch) - t0);
    }
    f.insert(QStringLiteral("latency.epochs_played"), QString::number(drive.epochs()));
    f.insert(QStringLiteral("latency.epochs_observed"), QString::number(epochOrder.size()));
    f.insert(QStringLiteral("latency.epochs_not_published"), QString::number(unpublished));
    f.insert(QStringLiteral("latency.gpsd_lines_per_epoch"),
             QString::number(double(observer.lines()) / qMax(1, int(epochOrder.size())), 'f', 2));
    f.insert(QStringLiteral("latency.client_reports"), QString::number(c.reports));
    addStats(f, QStringLiteral("latency.daemon"), daemonMs);
    addStats(f, QStringLiteral("latency.client"), clientMs);
    f.insert(QStringLiteral("latency.paired_ratio_median"),
             QString::number(CBenchStats::median(pairedRatio), 'f', 1));
    f.insert(QStringLiteral("rss.daemon.peak_kb"), QString::number(daemonStatus.peakRssKb));
    f.insert(QStringLiteral("rss.daemon.end_kb"), QString::number(daemonStatus.rssKb));
    f.insert(QStringLiteral("rss.client.peak_kb"), QString::number(c.peakRssKb));
    f.insert(QStringLiteral("latency.daemon_exit"), QString::number(exitStatus));
    return f;
}

CBenchRun::Figures CBenchRun::cost(bool idle)
{
    const Options &o = m_options;
    const QString role = idle ? QStringLiteral("idle") : QStringLiteral("drive");
    Figures f;
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    if (!CBenchSystem::inSandbox() || valgrind.isEmpty()) {
        m_error = QStringLiteral("needs valgrind and scripts/sandbox-run");
        return f;
    }
    QDir(o.workDir).mkpath(QStringLiteral("."));
    const QString out = QDir(o.workDir).absoluteFilePath(role);
    QDir(out).removeRecursively();
    QDir().mkpath(out);

    QTemporaryDir work;
    const QString drivePath = work.filePath(QStringLiteral("cost.nmea"));
    CBenchDrive drive;
    if (!idle && !drive.generate(drivePath, 1, o.costEpochs)) {
        m_error = drive.error();
        return f;
    }

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
    } else if (!system.gpsd.start(drivePath, drive.cycleFor(1.0 / o.costEpochsPerSec))) {
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

    for (int left = o.costSeconds; left > 0; --left) {
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

    f.insert(role + QStringLiteral(".seconds"), QString::number(o.costSeconds));
    f.insert(role + QStringLiteral(".epochs_per_sec"), QString::number(idle ? 0.0 : o.costEpochsPerSec));
    f.insert(role + QStringLiteral(".daemon_ir"),
             QString::number(callgrindTotal(QStringLiteral("%1/daemon.%2").arg(out).arg(daemonPid))));
    const QStringList lines = log.lines();
    f.insert(role + QStringLiteral(".daemon_fixes"), QString::number(countLines(lines, kLinePosition)));
    f.insert(role + QStringLiteral(".daemon_gpsd_dropped"),
             QString::number(countLines(lines, kLineReadError) + countLines(lines, kLineNoData)));
    f.insert(role + QStringLiteral(".daemon_signals"),
             QString::number(system.peer->seen(QStringLiteral("sigActualGpsData")).size()));
    f.insert(role + QStringLiteral(".daemon_exit"), QString::number(exitStatus));
    f.insert(role + QStringLiteral(".client_ir"),
             QString::number(callgrindTotal(QStringLiteral("%1/client.%2").arg(out).arg(clientPid))));
    f.insert(role + QStringLiteral(".client_fixes"), QString::number(c.fixes));
    f.insert(role + QStringLiteral(".client_reports"), QString::number(c.reports));
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
    const auto num = [&f](const QString &key) {
        bool ok = false;
        const double v = f.value(key).toDouble(&ok);
        return ok ? v : std::nan("");
    };
    const auto cell = [](double v, int decimals) {
        return std::isfinite(v) ? QString::number(v, 'f', decimals) : QStringLiteral("-");
    };
    const auto ratio = [](double a, double b) {
        return std::isfinite(a) && std::isfinite(b) && b > 0
                   ? QString::number(a / b, 'f', 1) + QLatin1Char('x')
                   : QStringLiteral("-");
    };
    const auto row = [&out](const QString &name, const QString &daemon, const QString &client,
                            const QString &r) {
        out << name.leftJustified(34) << daemon.rightJustified(16) << client.rightJustified(16)
            << r.rightJustified(10) << Qt::endl;
    };

    row(QStringLiteral("measure"), QStringLiteral("vorlan-gps"), QStringLiteral("minimal client"),
        QStringLiteral("ratio"));
    for (const char *stat : {"median", "p95", "max"}) {
        const QString key = QLatin1String(stat);
        const double d = num(QStringLiteral("latency.daemon.%1_ms").arg(key));
        const double c = num(QStringLiteral("latency.client.%1_ms").arg(key));
        row(QStringLiteral("TPV -> fix latency %1 (ms)").arg(key), cell(d, 2), cell(c, 3), ratio(d, c));
    }
    row(QStringLiteral("  epochs measured"), f.value(QStringLiteral("latency.daemon.count")),
        f.value(QStringLiteral("latency.client.count")), QString());

    // Instructions per 1000 fixes: the drive's count less the idle run's.
    const double dPer = (num(QStringLiteral("drive.daemon_ir")) - num(QStringLiteral("idle.daemon_ir"))) *
                        1000.0 / num(QStringLiteral("drive.daemon_fixes"));
    const double cPer = (num(QStringLiteral("drive.client_ir")) - num(QStringLiteral("idle.client_ir"))) *
                        1000.0 / num(QStringLiteral("drive.client_fixes"));
    row(QStringLiteral("instructions per 1000 fixes (M)"), cell(dPer / 1e6, 1), cell(cPer / 1e6, 1),
        ratio(dPer, cPer));
    row(QStringLiteral("  fixes in the drive run"), f.value(QStringLiteral("drive.daemon_fixes")),
        f.value(QStringLiteral("drive.client_fixes")), QString());
    row(QStringLiteral("  drive run, all instructions (M)"),
        cell(num(QStringLiteral("drive.daemon_ir")) / 1e6, 1),
        cell(num(QStringLiteral("drive.client_ir")) / 1e6, 1), QString());
    row(QStringLiteral("  idle run, all instructions (M)"),
        cell(num(QStringLiteral("idle.daemon_ir")) / 1e6, 1),
        cell(num(QStringLiteral("idle.client_ir")) / 1e6, 1), QString());

    const double dRss = num(QStringLiteral("rss.daemon.peak_kb"));
    const double cRss = num(QStringLiteral("rss.client.peak_kb"));
    row(QStringLiteral("peak RSS (kB)"), cell(dRss, 0), cell(cRss, 0), ratio(dRss, cRss));
}
