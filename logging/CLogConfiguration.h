#ifndef CLOGCONFIGURATION_H
#define CLOGCONFIGURATION_H

#include <QString>

class QSettings;

// Where the message handler writes its lines: the "DEBUG_MESSAGES" group of
// the daemon's settings file. Reading the group and completing it are apart
// so that the fuzz target can read a settings file the way the daemon does
// without writing it back for every input.
class CLogConfiguration
{
public:
    // The defaults, with the log file named after the settings file:
    // "/etc/Vorlan/gps.ini" gives "/var/log/Vorlan/gps.log".
    explicit CLogConfiguration(const QString &settingsFile);

    // Takes every key of the group that settings holds; the others keep
    // their values. A value that is no number reads as 0.
    void read(const QSettings &settings);
    // Writes the keys settings lacks with the values in use, so that the
    // file shows what the daemon does.
    void writeMissing(QSettings &settings) const;

    int displayMessage = 0;
    int displayLevel = 1;
    int logMessage = 1;
    int logLevel = 1;
    int logfileSizeBytes = 1048576;
    int logfileRedundancy = 1;
    QString logfileName;
    int useSysLog = 0;
};

#endif // CLOGCONFIGURATION_H
