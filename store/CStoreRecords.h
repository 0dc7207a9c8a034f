#ifndef CSTORERECORDS_H
#define CSTORERECORDS_H

#include <QByteArray>
#include <QString>

// Decodes what arrives at the data service with the system's own record and
// logbook classes, so that nothing undecodable is ever stored.
class CStoreRecords
{
public:
    CStoreRecords() = delete;

    // Record names are the members' names without get/set: "SetupGps", ...
    static bool isRecordName(const QString &name);
    static bool isRuntimeRecord(const QString &name);

    // REPLY_SUCCESS when the bytes are exactly one record of that name;
    // otherwise the refusal code and the reason in *why.
    static int check(const QString &name, const QByteArray &data, QString *why);
    // Runtime records carry change marks: only the marked fields of `data`
    // replace what `stored` holds (stored may be null).
    static QByteArray merge(const QString &name, const QByteArray &stored, const QByteArray &data);

    // Logbook table "gps" takes GPS entries, "tracking" tracking entries.
    static int checkLogEntry(const QString &table, const QByteArray &data, int *type, int *subtype,
                             QString *why);
};

#endif // CSTORERECORDS_H
