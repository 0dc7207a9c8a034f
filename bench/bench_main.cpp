// vorlan-bench: the daemon against the smallest libgps client (see
// CBenchRun). scripts/bench runs the phases for each receiver profile, each
// in its own sandbox, and prints the table:
//   vorlan-bench latency --profile P --rate HZ --seconds S --out FILE
//   vorlan-bench cost --role drive|idle --profile P --rate HZ --seconds S --dir DIR --out FILE
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
        {QStringLiteral("profile"), QStringLiteral("Receiver profile of the drive (default gps)."),
         QStringLiteral("name"), o.profile},
        {QStringLiteral("rate"), QStringLiteral("Epochs per second: 1, 5 or 10 (default 1)."),
         QStringLiteral("hz"), QString::number(o.rateHz)},
        {QStringLiteral("seconds"),
         QStringLiteral(
             "Real-time seconds of the drive (latency) or of each measured run (cost); default 180."),
         QStringLiteral("s"), QString::number(o.seconds)},
    });
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    const QString phase = args.value(0);
    o.profile = parser.value(QStringLiteral("profile"));
    o.rateHz = parser.value(QStringLiteral("rate")).toInt();
    o.seconds = parser.value(QStringLiteral("seconds")).toInt();
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
    if (o.seconds <= o.warmupSeconds || (o.rateHz != 1 && o.rateHz != 5 && o.rateHz != 10)) {
        err << "vorlan-bench: --seconds must exceed the warm-up (" << o.warmupSeconds
            << " s) and --rate be 1, 5 or 10" << Qt::endl;
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
