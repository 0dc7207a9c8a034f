// vorlanctl: the command-line tool for the GPS daemon and the data service.

#include "CCtlCommands.h"

#include <QCoreApplication>
#include <QTextStream>

namespace
{
void printUsage(QTextStream &out)
{
    out << "Usage: vorlanctl [--bus ADDRESS] COMMAND [ARGUMENTS]\n\n"
           "Talks to the GPS daemon and the data service com.Brask.Vorlan over D-Bus.\n\n"
           "Options:\n"
           "  --bus ADDRESS   D-Bus address instead of the session bus, e.g. tcp:host=127.0.0.1,port=7777\n"
           "  -h, --help      Show this help; COMMAND --help shows a command's help.\n"
           "  -v, --version   Show the version.\n\n"
           "Commands:\n"
        << CCtlCommands::summary();
    out.flush();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorlanctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    // Options before the command are vorlanctl's own; the rest is the command's.
    const QStringList arguments = QCoreApplication::arguments();
    QString busAddress;
    int i = 1;
    for (; i < arguments.size() && arguments.at(i).startsWith(QLatin1Char('-')); ++i) {
        const QString &option = arguments.at(i);
        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            printUsage(out);
            return CCtlCommands::Ok;
        }
        if (option == QLatin1String("-v") || option == QLatin1String("--version")) {
            out << "vorlanctl " << VORLAN_VERSION << Qt::endl;
            return CCtlCommands::Ok;
        }
        if (option == QLatin1String("--bus") && i + 1 < arguments.size()) {
            busAddress = arguments.at(++i);
        } else if (option.startsWith(QLatin1String("--bus="))) {
            busAddress = option.mid(int(sizeof("--bus=")) - 1);
        } else {
            err << "vorlanctl: unknown option \"" << option << "\" (see vorlanctl --help)" << Qt::endl;
            return CCtlCommands::Usage;
        }
        if (busAddress.isEmpty()) {
            err << "vorlanctl: --bus wants an address" << Qt::endl;
            return CCtlCommands::Usage;
        }
    }
    if (i >= arguments.size()) {
        err << "vorlanctl: no command given\n\n";
        err.flush();
        printUsage(err);
        return CCtlCommands::Usage;
    }
    CCtlCommands commands(busAddress);
    return commands.run(arguments.at(i), arguments.mid(i + 1));
}
