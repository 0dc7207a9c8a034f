// The daemon's settings file as the message handler reads it: arbitrary
// bytes as the INI file, the logging configuration loaded from it, and a
// burst of messages through the configured sinks (size rotation included).
//
// The configuration names a log file, and writing and rotating it means
// creating, copying and removing files by that name. An arbitrary input
// must not aim that at the machine's files, so the log file name is pinned
// into the scratch directory (keys appended to the input, confirmed by the
// same INI reader, QSettings) before the handler loads the file; the system
// log is pinned off as well, or every run would fill the machine's log with
// test lines. Every other key is read by the handler as the fuzzer wrote it.

#include "CFuzzEnvironment.h"

#include "logging/CMessageHandler.h"
#include "logging/CSettingsFile.h"

#include <QDir>
#include <QSettings>

namespace
{
constexpr int kMessagesPerInput = 2;
qint64 stamp = 0; // modification times in ms, one per file written

QString inputDir()
{
    return CFuzzEnvironment::scratchDir() + QStringLiteral("/settings");
}

QString iniPath()
{
    return inputDir() + QStringLiteral("/gps.ini");
}

QString logPath()
{
    return inputDir() + QStringLiteral("/gps.log");
}

QString quietIniPath()
{
    return CFuzzEnvironment::scratchDir() + QStringLiteral("/quiet.ini");
}

// Between inputs the handler runs a loaded configuration without sinks, as
// in the daemon, which writes its first line before it opens any settings:
// a message QSettings raises while the handler's configuration is pending
// (a bad @Variant value, say) would make the handler load it with a
// QSettings of its own under QSettings' lock, which is not recursive: a
// hang (regressions/settings). Without sinks, no file stays open from one
// input to the next, which libFuzzer would take for a leak to look for.
void quietBetweenInputs()
{
    CMessageHandler::shutdown();
    CMessageHandler::setSettingsFile(quietIniPath());
    qDebug("fuzz: between inputs");
}

// The settings that only pin the log into the scratch directory.
QByteArray pinnedFallback()
{
    return QByteArray("[DEBUG_MESSAGES]\nUse_SysLog=0\nLogfile_Name=") + logPath().toUtf8() + '\n';
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    CFuzzEnvironment::setUp();
    QDir().mkpath(inputDir());
    // The handler under test replaces the quiet one. Console lines would
    // mix with the fuzzer's report, so standard output is off for it.
    CMessageHandler::install();
    CMessageHandler::standardStreamsClosed();
    CMessageHandler::setIdentity(QStringLiteral("fuzz"));
    CFuzzEnvironment::writeFile(quietIniPath(),
                                QByteArray("[DEBUG_MESSAGES]\nLog_Message=0\nUse_SysLog=0\n"));
    quietBetweenInputs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QDir dir(inputDir());
    // One name for every input. QSettings keeps each file it has read in a
    // process-wide cache by name (a new name per input grew it, and the leak
    // checker's scans of it, without end), and rereads a cached file only
    // when its size or its modification time in milliseconds has changed:
    // each file written gets a modification time of its own, so a rewrite of the
    // same size within the same millisecond is read all the same.
    const QString iniPath = ::iniPath();
    const QString logPath = ::logPath();
    // The pinning keys go last, where the INI reader lets them win over the
    // input's own, and the same reader confirms it before the handler runs.
    CFuzzEnvironment::writeFile(iniPath, CFuzzEnvironment::toByteArray(data, size) + '\n' + pinnedFallback(),
                                QDateTime::fromMSecsSinceEpoch(++stamp));
    // What the handler refuses to hand to QSettings (regressions/settings:
    // a value that made QSettings allocate gigabytes) is not handed to it
    // here either; the handler would fall back to the machine's log file.
    if (!CSettingsFile::refusal(iniPath).isEmpty()) {
        dir.remove(QStringLiteral("gps.ini"));
        return 0;
    }
    {
        const QSettings check(iniPath, QSettings::IniFormat);
        if (check.value(QStringLiteral("DEBUG_MESSAGES/Logfile_Name")).toString() != logPath ||
            check.value(QStringLiteral("DEBUG_MESSAGES/Use_SysLog")).toInt() != 0)
            CFuzzEnvironment::writeFile(iniPath, pinnedFallback(), QDateTime::fromMSecsSinceEpoch(++stamp));
    }

    CMessageHandler::setSettingsFile(iniPath);
    CMessageHandler::shutdown();
    for (int i = 0; i < kMessagesPerInput; ++i) {
        qDebug("fuzz debug message %d", i);
        qWarning("fuzz warning message %d with some length to fill a small log file", i);
    }
    quietBetweenInputs();

    // Only the log file and its numbered copies may have appeared.
    const QStringList left = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : left) {
        FUZZ_CHECK(name.startsWith(QLatin1String("gps")));
        dir.remove(name);
    }
    return 0;
}
