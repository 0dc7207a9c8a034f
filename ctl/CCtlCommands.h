#ifndef CCTLCOMMANDS_H
#define CCTLCOMMANDS_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

class CCtlBus;
class CLogbookLine;
class QIODevice;
class QCommandLineParser;
class QDBusMessage;
class CSignalPrinter;

// The commands of vorlanctl. Each parses its own arguments, opens the bus
// only when they are right, and answers with an exit status.
class CCtlCommands : public QObject
{
    Q_OBJECT
public:
    enum ExitCode { Ok = 0, Failed = 1, Usage = 2, DaemonNotRunning = 3 };

    explicit CCtlCommands(const QString &busAddress);

    static QStringList commandNames();
    static QString summary();
    // Runs one command with its arguments (without the command word).
    int run(const QString &command, const QStringList &arguments);

private slots:
    void onWatchedSignal(const QDBusMessage &message);

private:
    int status(const QStringList &arguments);
    int start(const QStringList &arguments);
    int watch(const QStringList &arguments);
    int gps(const QStringList &arguments, bool timeSync);
    int tracking(const QStringList &arguments);
    int logbook(const QStringList &arguments);
    int exportTrack(const QStringList &arguments);
    int fidelity(const QStringList &arguments);

    // Both logbook tables in storing order, the newest last entries (all for 0).
    bool readLogbook(CCtlBus &bus, int last, QList<CLogbookLine> *entries);
    // Runs writer on the file (or standard output for "-"); false after a
    // message when that fails.
    bool writeOutput(const QString &path, const std::function<bool(QIODevice *)> &writer);

    // Parses the arguments; -1 to go on, else the exit code (help shown, usage error).
    int parseArguments(QCommandLineParser &parser, const QString &command, const QStringList &arguments);
    bool openBus(CCtlBus &bus);
    bool openStore(CCtlBus &bus);
    int fail(const QString &text);
    int usage(const QString &command, const QString &text);

    QString m_busAddress;
    QTextStream m_out;
    QTextStream m_err;
    // watch
    const CSignalPrinter *m_printer = nullptr;
    bool m_json = false;
    int m_watchLeft = 0;
};

#endif // CCTLCOMMANDS_H
