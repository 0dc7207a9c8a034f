#ifndef CSTOREDATABASE_H
#define CSTOREDATABASE_H

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

// SQLite keeper of the data service: the last record per name, and two
// logbook tables that lose their oldest entries at a cap. Every write is its
// own committed transaction with full synchronisation, so an answered call
// survives a crash.
class CStoreDatabase
{
public:
    struct LogEntry {
        quint64 row = 0;
        QString stored; // UTC, ISO 8601 with milliseconds
        int process = 0;
        int type = 0;
        int subtype = 0;
        QByteArray data;
    };

    CStoreDatabase();
    ~CStoreDatabase();
    CStoreDatabase(const CStoreDatabase &) = delete;
    CStoreDatabase &operator=(const CStoreDatabase &) = delete;

    // Path of the file, or an empty path for a database in memory.
    bool open(const QString &path);
    QString lastError() const { return m_error; }

    // Null when nothing is stored under the name.
    QByteArray record(const QString &name);
    bool putRecord(const QString &name, int process, const QByteArray &data);

    static bool isLogTable(const QString &table);
    // Row id of the new entry, 0 on failure. The table keeps at most
    // maxEntries: the oldest go in the same transaction, *dropped tells how many.
    quint64 appendLog(const QString &table, int process, int type, int subtype, const QByteArray &data,
                      int maxEntries, int *dropped);
    // The last `last` entries in row order; all of them when last <= 0.
    QList<LogEntry> logEntries(const QString &table, int last);

    bool clear();

    static QString now();

private:
    bool exec(const QString &sql);
    quint64 appendLogInTransaction(const QString &sqlTable, int process, int type, int subtype,
                                   const QByteArray &data, int maxEntries, int *dropped);

    QString m_connection;
    QSqlDatabase m_db;
    QString m_error;
};

#endif // CSTOREDATABASE_H
