// The daemon's settings file as the message handler reads it: arbitrary
// bytes as the INI file, the logging configuration read from it, and a
// burst of messages through the configured sinks (size rotation included).
//
// The configuration names a log file, and writing and rotating it means
// creating, copying and removing files by that name. An arbitrary input
// must not aim that at the machine's files, so the log file name is pinned
// into the scratch directory (keys appended to the input, confirmed by the
// same INI reader, QSettings); the system log is pinned off as well, or
// every run would fill the machine's log with test lines. Every other key is
// read as the fuzzer wrote it.
//
// Two paths. Every input: the file read by QSettings into the handler's
// configuration (CLogConfiguration, as the handler reads it), and the
// messages written to log files in memory (CMemoryLogFiles). One input in
// kOnDiskEvery (by a hash of its bytes, so a saved input takes the same path
// again) goes on as in the daemon: the handler loads the file itself and
// writes the missing keys back (QSaveFile, lock file), and the same messages
// go to log files on disk, which must then hold what the memory held. Under
// the sanitizers an input costs about 100 us of CPU in memory and 400 us
// with the disk path too; libFuzzer wants thousands of inputs a second.

#include "CFuzzEnvironment.h"
#include "CMemoryLogFiles.h"

#include "logging/CLogConfiguration.h"
#include "logging/CMessageHandler.h"
#include "logging/CSettingsFile.h"

#include <QDir>
#include <QSettings>

namespace
{
constexpr int kMessagesPerInput = 2;
constexpr quint32 kOnDiskEvery = 32;
qint64 stamp = 0; // modification times in ms, one per file written
CMemoryLogFiles memoryFiles;
// One name for every input. QSettings keeps each file it has read in a
// process-wide cache by name (a new name per input grew it, and the leak
// checker's scans of it, without end), and rereads a cached file only when
// its size or its modification time in milliseconds has changed: each file
// written gets a modification time of its own, so a rewrite of the same
// size within the same millisecond is read all the same.
QString inputDir, iniPath, logPath; // set once

// Between inputs the handler has a configuration without sinks, as in the
// daemon, which writes its first line before it opens any settings: a
// message QSettings raises while the handler's configuration is pending (a
// bad @Variant value, say) would make the handler load it with a QSettings
// of its own under QSettings' lock, which is not recursive: a hang
// (regressions/settings). Without sinks, no file stays open from one input
// to the next, which libFuzzer would take for a leak to look for.
void quietBetweenInputs()
{
    static const CLogConfiguration quiet = [] {
        CLogConfiguration c(QString{}); // the console is off by default
        c.logMessage = 0;
        return c;
    }();
    CMessageHandler::configure(quiet, memoryFiles);
}

void writeMessages()
{
    for (int i = 0; i < kMessagesPerInput; ++i) {
        qDebug("fuzz debug message %d", i);
        qWarning("fuzz warning message %d with some length to fill a small log file", i);
    }
}

// The settings that only pin the log into the scratch directory.
QByteArray pinnedFallback(const QString &logPath)
{
    return QByteArray("[DEBUG_MESSAGES]\nUse_SysLog=0\nLogfile_Name=") + logPath.toUtf8() + '\n';
}

CLogConfiguration readConfiguration(const QString &iniPath)
{
    CLogConfiguration configuration(iniPath);
    configuration.read(QSettings(iniPath, QSettings::IniFormat));
    return configuration;
}

// Memory still held when an input ends makes libFuzzer run the input again
// and then the leak checker: the log files in memory are emptied, and
// QSettings' cache lets go of the input's keys when it finds the file gone.
void forgetInput()
{
    memoryFiles.clear();
    QFile::remove(iniPath);
    const QSettings gone(iniPath, QSettings::IniFormat);
}

quint32 fnv1a(const uint8_t *data, size_t size)
{
    quint32 hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

// A log line with its time stamp ("fuzz:yyyy-MM-dd_hh:mm:ss:zzz") blanked:
// the two paths write the same lines at different times.
QByteArray withoutTimes(const QByteArray &log)
{
    QList<QByteArray> lines = log.split('\n');
    for (QByteArray &line : lines) {
        if (line.startsWith("fuzz:"))
            line.replace(5, 23, QByteArray(23, '.'));
    }
    return lines.join('\n');
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    CFuzzEnvironment::setUp();
    inputDir = CFuzzEnvironment::scratchDir() + QStringLiteral("/settings");
    iniPath = inputDir + QStringLiteral("/gps.ini");
    logPath = inputDir + QStringLiteral("/gps.log");
    QDir().mkpath(inputDir);
    // The handler under test replaces the quiet one. Console lines would
    // mix with the fuzzer's report, so standard output is off for it.
    CMessageHandler::install();
    CMessageHandler::standardStreamsClosed();
    CMessageHandler::setIdentity(QStringLiteral("fuzz"));
    quietBetweenInputs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The pinning keys go last, where the INI reader lets them win over the
    // input's own, and the same reader confirms it below.
    const QByteArray ini = CFuzzEnvironment::toByteArray(data, size) + '\n' + pinnedFallback(logPath);
    // What the handler refuses to hand to QSettings (regressions/settings:
    // a value that made QSettings allocate gigabytes) is not handed to it
    // here either; the handler would fall back to the machine's log file.
    if (!CSettingsFile::refusal(ini).isEmpty())
        return 0;
    CFuzzEnvironment::writeFile(iniPath, ini, QDateTime::fromMSecsSinceEpoch(++stamp));
    CLogConfiguration configuration = readConfiguration(iniPath);
    if (configuration.logfileName != logPath || configuration.useSysLog != 0) {
        CFuzzEnvironment::writeFile(iniPath, pinnedFallback(logPath),
                                    QDateTime::fromMSecsSinceEpoch(++stamp));
        configuration = readConfiguration(iniPath);
        FUZZ_CHECK(configuration.logfileName == logPath && configuration.useSysLog == 0);
    }

    CMessageHandler::configure(configuration, memoryFiles);
    writeMessages();
    quietBetweenInputs();
    if (fnv1a(data, size) % kOnDiskEvery != 0) {
        forgetInput();
        return 0;
    }

    CMessageHandler::setSettingsFile(iniPath);
    CMessageHandler::shutdown();
    writeMessages();
    quietBetweenInputs();

    // Only the log file and its numbered copies may have appeared, and they
    // hold what the memory held.
    const QMap<QString, QByteArray> inMemory = memoryFiles.contents();
    int logFiles = 0;
    const QDir dir(inputDir);
    const QStringList left = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : left) {
        FUZZ_CHECK(name.startsWith(QLatin1String("gps")));
        const QString path = dir.filePath(name);
        if (path != iniPath) {
            QFile file(path);
            FUZZ_CHECK(file.open(QIODevice::ReadOnly));
            FUZZ_CHECK(inMemory.contains(path));
            FUZZ_CHECK(withoutTimes(file.readAll()) == withoutTimes(inMemory.value(path)));
            ++logFiles;
            QFile::remove(path);
        }
    }
    FUZZ_CHECK(logFiles == inMemory.size());
    forgetInput();
    return 0;
}
