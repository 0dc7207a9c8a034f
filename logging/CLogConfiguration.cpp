#include "CLogConfiguration.h"

#include <QSettings>
#include <QVariant>

#include <utility>

namespace
{
const char kLogDirectory[] = "/var/log/Vorlan/";
const char kSettingsSuffix[] = ".ini";

// The group's keys, with the group: QSettings reads "G/K" as key K of group
// G, the same as after beginGroup("G"), and a const QSettings allows no
// beginGroup.
const char kKeyDisplayMessage[] = "DEBUG_MESSAGES/Display_Message";
const char kKeyDisplayLevel[] = "DEBUG_MESSAGES/Display_Level";
const char kKeyLogMessage[] = "DEBUG_MESSAGES/Log_Message";
const char kKeyLogLevel[] = "DEBUG_MESSAGES/Log_Level";
const char kKeyLogfileSize[] = "DEBUG_MESSAGES/Logfile_Size";
const char kKeyLogfileRedundancy[] = "DEBUG_MESSAGES/Logfile_Redundancy";
const char kKeyLogfileName[] = "DEBUG_MESSAGES/Logfile_Name";
const char kKeyUseSysLog[] = "DEBUG_MESSAGES/Use_SysLog";
} // namespace

CLogConfiguration::CLogConfiguration(const QString &settingsFile)
{
    const QString base = settingsFile.mid(settingsFile.lastIndexOf(QLatin1Char('/')) + 1);
    const int suffix = base.lastIndexOf(QLatin1String(kSettingsSuffix));
    const QString stem = suffix >= 0 ? base.left(suffix + 1) : base + QLatin1Char('.');
    logfileName = QLatin1String(kLogDirectory) + stem + QLatin1String("log");
}

void CLogConfiguration::read(const QSettings &settings)
{
    const auto readInt = [&settings](const char *key, int fallback) {
        return settings.value(QLatin1String(key), fallback).toInt();
    };
    displayMessage = readInt(kKeyDisplayMessage, displayMessage);
    displayLevel = readInt(kKeyDisplayLevel, displayLevel);
    logMessage = readInt(kKeyLogMessage, logMessage);
    logLevel = readInt(kKeyLogLevel, logLevel);
    logfileSizeBytes = readInt(kKeyLogfileSize, logfileSizeBytes);
    logfileRedundancy = readInt(kKeyLogfileRedundancy, logfileRedundancy);
    logfileName = settings.value(QLatin1String(kKeyLogfileName), logfileName).toString();
    useSysLog = readInt(kKeyUseSysLog, useSysLog);
}

void CLogConfiguration::writeMissing(QSettings &settings) const
{
    const std::pair<const char *, QVariant> values[] = {
        {kKeyDisplayMessage, displayMessage}, {kKeyDisplayLevel, displayLevel},
        {kKeyLogMessage, logMessage},         {kKeyLogLevel, logLevel},
        {kKeyLogfileSize, logfileSizeBytes},  {kKeyLogfileRedundancy, logfileRedundancy},
        {kKeyLogfileName, logfileName},       {kKeyUseSysLog, useSysLog},
    };
    for (const auto &value : values) {
        if (!settings.contains(QLatin1String(value.first)))
            settings.setValue(QLatin1String(value.first), value.second);
    }
}
