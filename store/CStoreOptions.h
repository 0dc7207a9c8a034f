#ifndef CSTOREOPTIONS_H
#define CSTOREOPTIONS_H

#include <QMap>
#include <QString>
#include <QStringList>

class QCommandLineOption;
class QCommandLineParser;

// Command line of vorlan-store.
class CStoreOptions
{
public:
    static constexpr int kDefaultMaxRecordBytes = 64 * 1024;
    // Per logbook table: more than a day of track points at one a second;
    // beyond it the oldest entries make room.
    static constexpr int kDefaultMaxLogbookEntries = 100000;

    QString busAddress;   // empty: the session bus
    QString databasePath; // empty with inMemory: no file at all
    bool inMemory = false;
    QStringList seeds;         // files or folders, applied in order at start
    QMap<QString, int> faults; // member -> reply code
    QMap<QString, int> delays; // member -> milliseconds
    QString callLogPath;
    int maxRecordBytes = kDefaultMaxRecordBytes;
    int maxLogbookEntries = kDefaultMaxLogbookEntries;

    // Fills the options from the arguments; on a usage error returns false
    // with the text in *error. Help and version end the process.
    bool parse(const QStringList &arguments, QString *error);

    static QString defaultDatabasePath();

    // "MEMBER=VALUE" -> member and integer value.
    static bool splitAssignment(const QString &text, QString *member, int *value);

private:
    // An optional positive count; *value keeps its default when the option is absent.
    static bool positive(const QCommandLineParser &parser, const QCommandLineOption &option, int *value,
                         QString *error);
};

#endif // CSTOREOPTIONS_H
