#include "CDriveGenerator.h"
#include "CDriveOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace
{
const char Description[] =
    "Writes a deterministic NMEA 0183 log of a tank truck's delivery round, as a GPS receiver (GGA, RMC,\n"
    "GSA, GSV, VTG), a multi-constellation one or one sending RMC and GGA only writes it (--profile):\n"
    "standing at the depot with the engine on, town streets with traffic lights and turns, a highway\n"
    "stretch at 80-90 km/h, two or three customers with several minutes of unloading, and back to the\n"
    "depot. The same options always give the same bytes.\n"
    "\n"
    "Replay through gpsd: gpsfake -1 -q -c CYCLE -P PORT FILE. gpsfake sends one sentence per CYCLE\n"
    "seconds, and a 1 Hz epoch has about seven (RMC, VTG, GGA, GSA, two or three GSV), so real time\n"
    "needs about -c 0.14 at 1 Hz; the file's third line gives the exact value. gpsd keeps every epoch\n"
    "at any cycle, even -c 0: a 30-minute round at 1 Hz plays in about 70 s with -c 0.005 and 110 s\n"
    "with -c 0.008 (gpsfake adds about 1.5 ms per sentence). The receiver's time then runs ahead of\n"
    "the system clock. Epochs played before gpsd has opened the device and a client has connected\n"
    "are lost: start the client first, or let the depot standing time cover them.\n"
    "--sentences RMC,GGA,GSA keeps all the values a fix needs in three sentences per epoch.\n"
    "--profile multi writes about 30 sentences per epoch (gpsfake -c about 0.033 at 1 Hz); GSV goes once\n"
    "a second at every rate, the other sentences with every epoch.";

bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    const bool opened = path.isEmpty() ? file.open(stdout, QIODevice::WriteOnly)
                                       : file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!opened || file.write(data) != data.size() || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2")
                     .arg(path.isEmpty() ? QStringLiteral("standard output") : path, file.errorString());
        return false;
    }
    return true;
}

int failure(const QString &message)
{
    std::fprintf(stderr, "vorlan-nmea-drive: %s\n", qPrintable(message));
    return 1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorlan-nmea-drive"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(Description));
    parser.addHelpOption();
    CDriveOptions::setUp(&parser);
    if (!parser.parse(QCoreApplication::arguments()))
        return failure(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        return failure(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    CDriveOptions options;
    QString error;
    if (!options.readFrom(parser, &error))
        return failure(error);
    CDriveGenerator::Result result;
    if (!CDriveGenerator(options).generate(&result, &error))
        return failure(error);
    if (!options.truthPath.isEmpty() && !writeFile(options.truthPath, result.truth, &error))
        return failure(error);
    if (!writeFile(options.outputPath, result.nmea, &error))
        return failure(error);
    return 0;
}
