#ifndef CMESSAGEHANDLER_H
#define CMESSAGEHANDLER_H

#include <QString>
#include <QtGlobal>

class CLogConfiguration;
class CLogFileSystem;
class QMessageLogContext;

// The process-wide Qt message handler. Every message of the process becomes
// one log line "identity:time<tag><text>" for up to two sinks: the console
// and either a size-rotated log file or the system log. The sinks are
// configured from the "DEBUG_MESSAGES" group of the daemon's settings file
// when the first message arrives, and stay so for the life of the process.
//
// All state is per process; the class only groups the operations.
class CMessageHandler
{
public:
    CMessageHandler() = delete;

    // Routes every message of the process through the handler. Call before
    // the first message is written.
    static void install();

    // Names the process in every line and in the system log instead of
    // "NOID(<pid>)".
    static void setIdentity(const QString &identity);
    // Switches the console sink off for good, whatever the settings say.
    static void disableConsole();
    // Closes the log file and the system log; the next message loads the
    // configuration anew. Write a message before the next use of QSettings:
    // a message QSettings itself raised while the configuration is pending
    // would load it under QSettings' lock, which is not recursive, and hang.
    static void shutdown();

    // Reads the configuration from another settings file (tests). Takes
    // effect at the next configuration load.
    static void setSettingsFile(const QString &path);
    // Closes the sinks and uses this configuration, and these files for the
    // log file, instead of loading the settings file (fuzzing: the fuzz
    // target reads each settings file itself and keeps the log in memory).
    // files must outlive its use; the next load after shutdown() is from
    // the settings file and to the disk again.
    static void configure(const CLogConfiguration &configuration, CLogFileSystem &files);
    // Tells the handler that descriptors 0 to 2 have been closed, so that
    // nothing is written to standard output any more.
    static void standardStreamsClosed();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);
    static void loadConfiguration();
    static void apply(const CLogConfiguration &configuration, CLogFileSystem &files);
    // Writes a line to the configured sinks.
    static void deliver(int level, const QString &text);
    static void writeLogFile(int level, const QString &line);
    static void rotateLogFile();
    static void writeSysLog(int level, const QString &text);
    static void writeStdout(const QByteArray &bytes);
};

#endif // CMESSAGEHANDLER_H
