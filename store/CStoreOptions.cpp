#include "CStoreOptions.h"

#include <QCommandLineParser>
#include <QStandardPaths>

bool CStoreOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in for the central data service com.Brask.Vorlan: keeps setup and runtime records "
        "and the logbook in SQLite and serves them on D-Bus.\n"
        "Prints \"ready.\" on standard output once it owns the bus name."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption bus(QStringLiteral("bus"),
                                 QStringLiteral("D-Bus address to serve on instead of the session bus, e.g. "
                                                "tcp:host=127.0.0.1,port=7777 or unix:path=/tmp/bus."),
                                 QStringLiteral("address"));
    const QCommandLineOption db(
        QStringLiteral("db"),
        QStringLiteral("SQLite database file (default: %1).").arg(defaultDatabasePath()),
        QStringLiteral("path"));
    const QCommandLineOption memory(
        QStringLiteral("memory"), QStringLiteral("Keep everything in memory; nothing survives the process."));
    const QCommandLineOption seed(
        QStringLiteral("seed"),
        QStringLiteral("Store the records of a seed file, or of every file in a folder, at "
                       "start (repeatable). Text lines \"NAME HEX\" (NAME e.g. SetupGps, "
                       "LogbookGPS), or a raw record in a file NAME.bin."),
        QStringLiteral("path"));
    const QCommandLineOption fail(QStringLiteral("fail"),
                                  QStringLiteral("Answer MEMBER with reply code CODE and store nothing "
                                                 "(repeatable), e.g. setSetupGps=-1000."),
                                  QStringLiteral("member=code"));
    const QCommandLineOption delay(
        QStringLiteral("delay"),
        QStringLiteral("Hold MEMBER's reply back for MS milliseconds (repeatable); the "
                       "call itself is carried out at once."),
        QStringLiteral("member=ms"));
    const QCommandLineOption callLog(QStringLiteral("call-log"),
                                     QStringLiteral("Append every call of the data service to this file."),
                                     QStringLiteral("file"));
    const QCommandLineOption maxRecord(
        QStringLiteral("max-record-bytes"),
        QStringLiteral("Refuse records and logbook entries larger than this (default %1).")
            .arg(kDefaultMaxRecordBytes),
        QStringLiteral("bytes"));
    const QCommandLineOption maxLogbook(
        QStringLiteral("max-logbook-entries"),
        QStringLiteral("Keep at most this many entries in each logbook table; a new entry then "
                       "replaces the oldest and is answered SUCCESS_AFTER_DELETE_ONE_ROW (default %1).")
            .arg(kDefaultMaxLogbookEntries),
        QStringLiteral("count"));
    parser.addOptions({bus, db, memory, seed, fail, delay, callLog, maxRecord, maxLogbook});
    parser.process(arguments);

    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    if (parser.isSet(db) && parser.isSet(memory)) {
        *error = QStringLiteral("--db and --memory exclude each other");
        return false;
    }
    busAddress = parser.value(bus);
    inMemory = parser.isSet(memory);
    databasePath = inMemory ? QString() : (parser.isSet(db) ? parser.value(db) : defaultDatabasePath());
    seeds = parser.values(seed);
    callLogPath = parser.value(callLog);
    for (const QString &text : parser.values(fail)) {
        QString member;
        int code = 0;
        if (!splitAssignment(text, &member, &code)) {
            *error = QStringLiteral("--fail wants MEMBER=CODE, not \"%1\"").arg(text);
            return false;
        }
        faults.insert(member, code);
    }
    for (const QString &text : parser.values(delay)) {
        QString member;
        int msecs = 0;
        if (!splitAssignment(text, &member, &msecs) || msecs < 0) {
            *error = QStringLiteral("--delay wants MEMBER=MILLISECONDS, not \"%1\"").arg(text);
            return false;
        }
        delays.insert(member, msecs);
    }
    return positive(parser, maxRecord, &maxRecordBytes, error) &&
           positive(parser, maxLogbook, &maxLogbookEntries, error);
}

bool CStoreOptions::positive(const QCommandLineParser &parser, const QCommandLineOption &option, int *value,
                             QString *error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    *value = parser.value(option).toInt(&ok);
    if (ok && *value > 0)
        return true;
    *error = QStringLiteral("--%1 wants a positive number").arg(option.names().constFirst());
    return false;
}

QString CStoreOptions::defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/store.sqlite");
}

bool CStoreOptions::splitAssignment(const QString &text, QString *member, int *value)
{
    const int equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return false;
    bool ok = false;
    *value = text.mid(equals + 1).trimmed().toInt(&ok);
    *member = text.left(equals).trimmed();
    return ok && !member->isEmpty();
}
