// The daemon's settings file as the message handler reads it: arbitrary
// bytes as the INI file, the logging configuration loaded from it, and a
// burst of messages through the configured sinks (size rotation included).
//
// The configuration names a log file, and writing and rotating it means
// creating, copying and removing files by that name. An arbitrary input
// must not aim that at the machine's files, so each input is first read by
// the same INI reader (QSettings) and the log file name is pinned into the
// scratch directory before the handler loads the file; the system log is
// pinned off as well, or every run would fill the machine's log with test
// lines. Every other key is read by the handler as the fuzzer wrote it.

#include "CFuzzEnvironment.h"

#include "logging/CMessageHandler.h"

#include <QDir>
#include <QSettings>

namespace
{
constexpr int kMessagesPerInput = 8;
int counter = 0;

QString inputDir()
{
    return CFuzzEnvironment::scratchDir() + QStringLiteral("/settings");
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
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QDir dir(inputDir());
    // A new name per input: QSettings caches a file by name and would not
    // notice a rewrite within the same millisecond.
    const QString iniPath = dir.filePath(QStringLiteral("gps-%1.ini").arg(++counter));
    const QString logPath = dir.filePath(QStringLiteral("gps.log"));
    CFuzzEnvironment::writeFile(iniPath, CFuzzEnvironment::toByteArray(data, size));
    {
        QSettings pin(iniPath, QSettings::IniFormat);
        pin.setValue(QStringLiteral("DEBUG_MESSAGES/Logfile_Name"), logPath);
        pin.setValue(QStringLiteral("DEBUG_MESSAGES/Use_SysLog"), 0);
        pin.sync();
        // A file QSettings cannot write back (a format error) is not used as is.
        if (pin.status() != QSettings::NoError)
            CFuzzEnvironment::writeFile(iniPath, QByteArray("[DEBUG_MESSAGES]\nUse_SysLog=0\nLogfile_Name=") +
                                                     logPath.toUtf8() + '\n');
    }

    CMessageHandler::setSettingsFile(iniPath);
    CMessageHandler::shutdown();
    for (int i = 0; i < kMessagesPerInput; ++i) {
        qDebug("fuzz debug message %d", i);
        qWarning("fuzz warning message %d with some length to fill a small log file", i);
    }
    CMessageHandler::shutdown();

    // Only the log file and its numbered copies may have appeared.
    const QStringList left = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : left) {
        FUZZ_CHECK(name.startsWith(QLatin1String("gps")));
        dir.remove(name);
    }
    return 0;
}
