// vorlan-soak: the long soak of the daemon (see CSoakRun). Run it inside the
// sandbox, e.g.  scripts/sandbox-run build/bench/vorlan-soak --minutes 30
// Exit 0 when everything stayed flat and no log line was lost, 1 otherwise,
// 77 when it cannot run here.

#include "CSoakRun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

namespace
{
constexpr int kSkipped = 77;
constexpr int kSecPerMinute = 60;
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Soak of the GPS daemon: a long fast 10 Hz drive, resources "
                       "sampled every second, the rotated log checked for losses."));
    parser.addHelpOption();
    CSoakRun::Options o;
    parser.addOptions({
        {QStringLiteral("minutes"), QStringLiteral("Length of the drive (default 30)."), QStringLiteral("n"),
         QStringLiteral("30")},
        {QStringLiteral("warmup"), QStringLiteral("Seconds not judged at the start (default 120)."),
         QStringLiteral("s"), QString::number(o.warmupSeconds)},
        {QStringLiteral("speed"), QStringLiteral("Drive time per wall time (default 2)."),
         QStringLiteral("x"), QString::number(o.speed)},
        {QStringLiteral("rate"), QStringLiteral("Epochs per second: 1, 5 or 10 (default 10)."),
         QStringLiteral("hz"), QString::number(o.rateHz)},
        {QStringLiteral("log-size"), QStringLiteral("Logfile_Size in bytes (default 4096)."),
         QStringLiteral("bytes"), QString::number(o.logfileSize)},
        {QStringLiteral("redundancy"), QStringLiteral("Logfile_Redundancy (default 40)."),
         QStringLiteral("n"), QString::number(o.logfileRedundancy)},
        {QStringLiteral("max-rss-growth"),
         QStringLiteral("Limit of RSS growth after the warm-up, kB (default 8192)."), QStringLiteral("kB"),
         QString::number(o.maxRssGrowthKb)},
        {QStringLiteral("wrapper"),
         QStringLiteral("Run the daemon under this command, e.g. \"valgrind --tool=massif\" (words split at "
                        "blanks); its limits then mean little."),
         QStringLiteral("command")},
        {QStringLiteral("csv"), QStringLiteral("Write the samples (seconds, RSS kB, fds, threads) here."),
         QStringLiteral("file")},
    });
    parser.process(app);
    o.driveSeconds = int(parser.value(QStringLiteral("minutes")).toDouble() * kSecPerMinute);
    o.warmupSeconds = parser.value(QStringLiteral("warmup")).toInt();
    o.speed = parser.value(QStringLiteral("speed")).toDouble();
    o.rateHz = parser.value(QStringLiteral("rate")).toInt();
    o.logfileSize = parser.value(QStringLiteral("log-size")).toInt();
    o.logfileRedundancy = parser.value(QStringLiteral("redundancy")).toInt();
    o.maxRssGrowthKb = parser.value(QStringLiteral("max-rss-growth")).toLongLong();
    o.wrapper = parser.value(QStringLiteral("wrapper")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (o.driveSeconds <= o.warmupSeconds || o.speed <= 0 || o.logfileRedundancy < 1 ||
        (o.rateHz != 1 && o.rateHz != 5 && o.rateHz != 10)) {
        QTextStream(stderr) << "vorlan-soak: the drive must be longer than the warm-up, speed > 0, "
                               "redundancy >= 1, rate 1, 5 or 10"
                            << Qt::endl;
        return 2;
    }

    QTextStream out(stdout);
    const CSoakRun::Result result = CSoakRun(o).run([&out](const QString &line) { out << line << Qt::endl; });
    CSoakRun::printSummary(result, o, out);
    if (parser.isSet(QStringLiteral("csv"))) {
        QFile csv(parser.value(QStringLiteral("csv")));
        if (csv.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            QTextStream text(&csv);
            text << "seconds,rss_kb,fds,threads\n";
            for (const CSoakRun::Sample &s : result.samples)
                text << s.atSec << ',' << s.rssKb << ',' << s.fds << ',' << s.threads << '\n';
        }
    }
    if (result.skipped)
        return kSkipped;
    return result.problems.isEmpty() ? 0 : 1;
}
