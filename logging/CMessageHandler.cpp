#include "CMessageHandler.h"

#include "CLogConfiguration.h"
#include "CLogFileSystem.h"
#include "CSettingsFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QSettings>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <syslog.h>
#include <unistd.h>

namespace
{

constexpr int kDebugLevel = 0;
constexpr int kWarningLevel = 1;
constexpr int kFatalLevel = 3;
constexpr int kLevelCount = 4;
const char *const kLevelTags[kLevelCount] = {" D ", " W ", " C ", " F "};
const int kSysLogPriorities[kLevelCount] = {LOG_DEBUG, LOG_WARNING, LOG_CRIT, LOG_ALERT};

// openlog() keeps the pointer, so the identity lives in a buffer that is
// never freed; 254 characters and the terminator.
constexpr int kSysLogIdentityMax = 254;
// Lines that cannot reach the disk (full, I/O error) wait in the file's
// buffer until they can; beyond this much they are dropped, so a full disk
// cannot eat the memory of a daemon that runs for years.
constexpr qint64 kMaxUnwrittenLogBytes = 1024 * 1024;
char sysLogIdentity[kSysLogIdentityMax + 1] = {};

const char kSettingsFile[] = "/etc/Vorlan/gps.ini";
const char kTimeFormat[] = "yyyy-MM-dd_hh:mm:ss:zzz";

struct State {
    // Flags are read by every thread that logs, without a lock.
    std::atomic<bool> configurationPending{true};
    std::atomic<bool> sinkPending{true};
    std::atomic<bool> consolePermitted{true};
    std::atomic<bool> stdoutUsable{true};
    QString identity;
    QString settingsFile = QLatin1String(kSettingsFile);
    CLogConfiguration config{QLatin1String(kSettingsFile)};
    CLogFileSystem *files = &CLogFileSystem::disk();
    std::unique_ptr<CLogFileSystem::File> logFile;
    QMutex fileLock;
    QString settingsRefusal; // why the last configuration load did not read the file
};

// Allocated once and never destroyed: Qt may still write messages while
// static objects are torn down at exit.
State &state()
{
    static State *const instance = new State;
    return *instance;
}

// Set while this thread runs the handler. A message raised by the handler's
// own work (settings, file calls) would otherwise recurse into the
// configuration load or block on the file lock the thread already holds.
thread_local bool insideHandler = false;

int levelOf(QtMsgType type)
{
    switch (type) {
    case QtWarningMsg:
        return 1;
    case QtCriticalMsg:
        return 2;
    case QtFatalMsg:
        return kFatalLevel;
    default:
        return kDebugLevel;
    }
}

QString copyName(const QString &logfileName, int number)
{
    return logfileName + QLatin1Char('.') + QString::number(number);
}

// Highest number n (at most limit) for which a copy "<name>.n" exists.
// Copies above it cannot take part in a rotation, so a huge redundancy from
// the settings costs one directory listing instead of billions of calls.
int highestCopyNumber(const CLogFileSystem &files, const QString &logfileName, int limit)
{
    const QFileInfo info(logfileName);
    const QString prefix = info.fileName() + QLatin1Char('.');
    const QStringList entries = files.fileNames(info.absolutePath());
    int highest = 0;
    for (const QString &entry : entries) {
        if (!entry.startsWith(prefix))
            continue;
        const QString digits = entry.mid(prefix.size());
        bool ok = false;
        const int number = digits.toInt(&ok);
        if (ok && number > highest && number <= limit && QString::number(number) == digits)
            highest = number;
    }
    return highest;
}

// Null when the file cannot be opened.
std::unique_ptr<CLogFileSystem::File> openLogFile(CLogFileSystem &files, const QString &name)
{
    // QFile warns about an empty name, and that warning would come back to
    // the writer that holds the file lock.
    if (name.isEmpty())
        return nullptr;
    return files.openForAppend(name);
}

void copySysLogIdentity(const QString &identity)
{
    const QByteArray latin1 = identity.left(kSysLogIdentityMax).toLatin1();
    std::memcpy(sysLogIdentity, latin1.constData(), size_t(latin1.size()));
    sysLogIdentity[latin1.size()] = '\0';
}

} // namespace

void CMessageHandler::install()
{
    qInstallMessageHandler(&CMessageHandler::handler);
}

void CMessageHandler::setIdentity(const QString &identity)
{
    state().identity = identity;
    copySysLogIdentity(identity);
}

void CMessageHandler::disableConsole()
{
    State &s = state();
    s.consolePermitted = false;
    s.config.displayMessage = 0;
}

void CMessageHandler::shutdown()
{
    State &s = state();
    if (s.configurationPending)
        return;
    if (s.config.logMessage != 0) {
        {
            QMutexLocker locker(&s.fileLock);
            s.logFile.reset();
        }
        if (s.config.useSysLog != 0 && !s.sinkPending)
            closelog();
    }
    s.sinkPending = true;
    s.configurationPending = true;
}

void CMessageHandler::setSettingsFile(const QString &path)
{
    state().settingsFile = path;
}

void CMessageHandler::configure(const CLogConfiguration &configuration, CLogFileSystem &files)
{
    shutdown();
    apply(configuration, files);
}

void CMessageHandler::standardStreamsClosed()
{
    // Once 0 to 2 are closed, descriptor 1 may be reused by the next open
    // (a socket, the GPIO file). Writing there would corrupt it, and there is
    // nothing worth redirecting to, so console output and the open failure
    // notes are dropped from now on; the file and system log go on.
    state().stdoutUsable = false;
}

void CMessageHandler::handler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const int level = levelOf(type);
    if (insideHandler) {
        if (level == kFatalLevel)
            std::abort();
        return;
    }
    insideHandler = true;

    State &s = state();
    if (s.configurationPending) {
        loadConfiguration();
        if (!s.settingsRefusal.isEmpty())
            deliver(kWarningLevel,
                    QStringLiteral("CMessageHandler => settings file %1 not read, defaults in use: %2")
                        .arg(s.settingsFile, s.settingsRefusal));
    }
    deliver(level, text);

    insideHandler = false;
    if (level == kFatalLevel)
        std::abort();
}

void CMessageHandler::deliver(int level, const QString &text)
{
    State &s = state();
    const CLogConfiguration &c = s.config;
    const bool toConsole = c.displayMessage != 0 && level >= c.displayLevel;
    const bool toLog = c.logMessage != 0 && level >= c.logLevel;
    if (!toConsole && !toLog)
        return;
    const QString line = s.identity + QLatin1Char(':') +
                         QLocale::c().toString(QDateTime::currentDateTimeUtc(), QLatin1String(kTimeFormat)) +
                         QLatin1String(kLevelTags[level]) + text;
    if (toConsole)
        writeStdout((line + QLatin1Char('\n')).toLatin1());
    if (toLog) {
        if (c.useSysLog == 0)
            writeLogFile(level, line);
        else
            writeSysLog(level, text);
    }
}

void CMessageHandler::loadConfiguration()
{
    State &s = state();
    CLogConfiguration c(s.settingsFile);
    // A file QSettings must not decode is neither read nor completed.
    s.settingsRefusal = CSettingsFile::refusal(s.settingsFile);
    if (s.settingsRefusal.isEmpty()) {
        // A missing, unreadable or garbled file reads as an empty one;
        // writing the keys back fails silently where it cannot be written.
        QSettings settings(s.settingsFile, QSettings::IniFormat);
        c.read(settings);
        c.writeMissing(settings);
    }
    apply(c, CLogFileSystem::disk());
}

void CMessageHandler::apply(const CLogConfiguration &configuration, CLogFileSystem &files)
{
    State &s = state();
    if (s.identity.isEmpty())
        s.identity = QStringLiteral("NOID(%1)").arg(qint64(::getpid()));
    s.config = configuration;
    if (!s.consolePermitted)
        s.config.displayMessage = 0;
    s.files = &files;
    s.configurationPending = false;
}

void CMessageHandler::writeLogFile(int level, const QString &line)
{
    State &s = state();
    QMutexLocker locker(&s.fileLock);
    const CLogConfiguration &c = s.config;

    if (s.sinkPending.exchange(false) && c.logMessage != 0) {
        s.logFile = openLogFile(*s.files, c.logfileName);
        if (!s.logFile)
            writeStdout((s.identity + QLatin1String("open log file failed\n")).toLatin1());
    }
    if (!s.logFile || c.logMessage == 0 || level < c.logLevel)
        return;

    const qint64 size = s.files->size(c.logfileName); // -1: none, whatever the limit
    if (size >= 0 && size > qint64(c.logfileSizeBytes)) {
        rotateLogFile();
        if (!s.logFile)
            return;
    }
    if (!s.logFile->append((line + QLatin1Char('\n')).toUtf8()) &&
        s.logFile->unwritten() > kMaxUnwrittenLogBytes) {
        const qint64 dropped = s.logFile->unwritten();
        s.logFile.reset(); // discards the buffer
        s.logFile = openLogFile(*s.files, c.logfileName);
        if (s.logFile)
            s.logFile->append(
                (s.identity +
                 QStringLiteral("log file not writable, %1 bytes of lines dropped\n").arg(dropped))
                    .toUtf8());
    }
}

// Called with the file lock held. Copies rather than renames: the newest
// copy stays readable under its name while the next one is made.
void CMessageHandler::rotateLogFile()
{
    State &s = state();
    CLogFileSystem &files = *s.files;
    const QString &name = s.config.logfileName;
    s.logFile.reset();

    const int redundancy = s.config.logfileRedundancy;
    if (redundancy > 0) {
        const int first = qMin(redundancy, highestCopyNumber(files, name, redundancy) + 1);
        for (int i = first; i >= 1; --i) {
            files.remove(copyName(name, i));
            files.copy(i == 1 ? name : copyName(name, i - 1), copyName(name, i));
        }
    }

    files.remove(name);
    s.logFile = openLogFile(files, name);
    if (!s.logFile)
        writeStdout((s.identity + QLatin1String("reopen log file failed\n")).toLatin1());
}

void CMessageHandler::writeSysLog(int level, const QString &text)
{
    State &s = state();
    if (s.sinkPending.exchange(false)) {
        copySysLogIdentity(s.identity);
        openlog(sysLogIdentity, LOG_CONS | LOG_PID, LOG_USER);
    }
    syslog(kSysLogPriorities[level], "%s", text.toLatin1().constData());
}

void CMessageHandler::writeStdout(const QByteArray &bytes)
{
    if (!state().stdoutUsable)
        return;
    // One write per line keeps lines of different threads apart.
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
