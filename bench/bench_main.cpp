// vorlan-bench: the daemon against the smallest libgps client (see
// CBenchRun). scripts/bench runs the phases, each in its own sandbox, and
// prints the table:
//   vorlan-bench latency --out FILE
//   vorlan-bench cost --role drive|idle --dir DIR --out FILE
//   vorlan-bench table FILE...

#include "CBenchRun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace
{
constexpr int kUsage = 2;
constexpr int kSkipped = 77;
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Latency, cost and memory of vorlan-gps against a minimal "
                       "libgps client. Phases: latency, cost, table."));
    parser.addHelpOption();
    CBenchRun::Options o;
    parser.addPositionalArgument(QStringLiteral("phase"), QStringLiteral("latency, cost or table"));
    parser.addOptions({
        {QStringLiteral("out"), QStringLiteral("Write the figures here (key=value)."),
         QStringLiteral("file")},
        {QStringLiteral("role"), QStringLiteral("cost: drive or idle."), QStringLiteral("role"),
         QStringLiteral("drive")},
        {QStringLiteral("dir"), QStringLiteral("cost: directory for the callgrind files."),
         QStringLiteral("dir"), QStringLiteral("bench-out")},
        {QStringLiteral("epochs"), QStringLiteral("latency: 1 Hz epochs played in real time (default 120)."),
         QStringLiteral("n"), QString::number(o.latencyEpochs)},
        {QStringLiteral("seconds"), QStringLiteral("cost: measured seconds of each run (default 180)."),
         QStringLiteral("s"), QString::number(o.costSeconds)},
        {QStringLiteral("cost-epochs"), QStringLiteral("cost: epochs of the drive (default 1000)."),
         QStringLiteral("n"), QString::number(o.costEpochs)},
        {QStringLiteral("pace"),
         QStringLiteral("cost: epochs per second of the replay (default 1, real time)."),
         QStringLiteral("hz"), QString::number(o.costEpochsPerSec)},
    });
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    const QString phase = args.value(0);
    o.latencyEpochs = parser.value(QStringLiteral("epochs")).toInt();
    o.costSeconds = parser.value(QStringLiteral("seconds")).toInt();
    o.costEpochs = parser.value(QStringLiteral("cost-epochs")).toInt();
    o.costEpochsPerSec = parser.value(QStringLiteral("pace")).toDouble();
    o.workDir = parser.value(QStringLiteral("dir"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    if (phase == QLatin1String("table")) {
        CBenchRun::Figures all;
        for (const QString &file : args.mid(1)) {
            const CBenchRun::Figures f = CBenchRun::readFigures(file);
            for (auto it = f.constBegin(); it != f.constEnd(); ++it)
                all.insert(it.key(), it.value());
        }
        CBenchRun::printTable(all, out);
        return 0;
    }
    if (o.latencyEpochs <= 0 || o.costSeconds <= 0 || o.costEpochs <= 0 || o.costEpochsPerSec <= 0) {
        err << "vorlan-bench: epochs, seconds and pace must be positive" << Qt::endl;
        return kUsage;
    }

    CBenchRun run(o);
    CBenchRun::Figures figures;
    if (phase == QLatin1String("latency")) {
        figures = run.latency();
    } else if (phase == QLatin1String("cost")) {
        const QString role = parser.value(QStringLiteral("role"));
        if (role != QLatin1String("drive") && role != QLatin1String("idle")) {
            err << "vorlan-bench: --role is drive or idle" << Qt::endl;
            return kUsage;
        }
        figures = run.cost(role == QLatin1String("idle"));
    } else {
        parser.showHelp(kUsage);
    }
    if (figures.isEmpty()) {
        err << "vorlan-bench " << phase << ": " << run.error() << Qt::endl;
        return kSkipped;
    }
    for (auto it = figures.constBegin(); it != figures.constEnd(); ++it)
        out << it.key() << '=' << it.value() << Qt::endl;
    if (parser.isSet(QStringLiteral("out")) &&
        !CBenchRun::writeFigures(figures, parser.value(QStringLiteral("out")))) {
        err << "vorlan-bench: cannot write " << parser.value(QStringLiteral("out")) << Qt::endl;
        return 1;
    }
    return 0;
}
