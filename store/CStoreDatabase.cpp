#include "CStoreDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace
{
const char *const kConnectionName = "vorlan-store";
const QString kGpsTable = QStringLiteral("logbook_gps");
const QString kTrackingTable = QStringLiteral("logbook_tracking");

QString tableName(const QString &table)
{
    return table == QLatin1String("tracking") ? kTrackingTable : kGpsTable;
}
} // namespace

CStoreDatabase::CStoreDatabase() : m_connection(QString::fromLatin1(kConnectionName)) {}

CStoreDatabase::~CStoreDatabase()
{
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool CStoreDatabase::open(const QString &path)
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!m_db.isValid()) {
        m_error = QStringLiteral("the SQLite driver of QtSql is not installed");
        return false;
    }
    if (path.isEmpty()) {
        m_db.setDatabaseName(QStringLiteral(":memory:"));
    } else {
        const QFileInfo info(path);
        if (!QDir().mkpath(info.absolutePath())) {
            m_error = QStringLiteral("cannot create folder %1").arg(info.absolutePath());
            return false;
        }
        m_db.setDatabaseName(info.absoluteFilePath());
    }
    if (!m_db.open()) {
        m_error = m_db.lastError().text();
        return false;
    }
    const QString logTable =
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (row INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "stored TEXT NOT NULL, process INTEGER NOT NULL, type INTEGER NOT NULL, "
                       "subtype INTEGER NOT NULL, data BLOB NOT NULL)");
    // The rollback journal with full sync makes each answered write durable.
    return exec(QStringLiteral("PRAGMA journal_mode=DELETE")) &&
           exec(QStringLiteral("PRAGMA synchronous=FULL")) &&
           exec(QStringLiteral(
               "CREATE TABLE IF NOT EXISTS records (name TEXT PRIMARY KEY, process INTEGER NOT NULL, "
               "stored TEXT NOT NULL, data BLOB NOT NULL)")) &&
           exec(logTable.arg(kGpsTable)) && exec(logTable.arg(kTrackingTable));
}

bool CStoreDatabase::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    if (!query.exec(sql)) {
        m_error = QStringLiteral("%1: %2").arg(sql, query.lastError().text());
        return false;
    }
    return true;
}

QByteArray CStoreDatabase::record(const QString &name)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT data FROM records WHERE name = ?"));
    query.addBindValue(name);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return QByteArray();
    }
    if (!query.next())
        return QByteArray();
    QByteArray data = query.value(0).toByteArray();
    // A stored empty record must still read as "something stored".
    if (data.isNull())
        data = QByteArray("");
    return data;
}

bool CStoreDatabase::putRecord(const QString &name, int process, const QByteArray &data)
{
    QSqlQuery query(m_db);
    query.prepare(
        QStringLiteral("INSERT OR REPLACE INTO records (name, process, stored, data) VALUES (?, ?, ?, ?)"));
    query.addBindValue(name);
    query.addBindValue(process);
    query.addBindValue(now());
    query.addBindValue(data);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

bool CStoreDatabase::isLogTable(const QString &table)
{
    return table == QLatin1String("gps") || table == QLatin1String("tracking");
}

quint64 CStoreDatabase::appendLog(const QString &table, int process, int type, int subtype,
                                  const QByteArray &data, int maxEntries, int *dropped)
{
    *dropped = 0;
    // One transaction: an entry never makes room and then fails to arrive.
    if (!m_db.transaction()) {
        m_error = m_db.lastError().text();
        return 0;
    }
    const quint64 row =
        appendLogInTransaction(tableName(table), process, type, subtype, data, maxEntries, dropped);
    if (row != 0 && m_db.commit())
        return row;
    if (row != 0)
        m_error = m_db.lastError().text();
    m_db.rollback();
    *dropped = 0;
    return 0;
}

quint64 CStoreDatabase::appendLogInTransaction(const QString &sqlTable, int process, int type, int subtype,
                                               const QByteArray &data, int maxEntries, int *dropped)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + sqlTable) || !query.next()) {
        m_error = query.lastError().text();
        return 0;
    }
    const qint64 excess = query.value(0).toLongLong() - maxEntries + 1;
    if (excess > 0) {
        query.prepare(QStringLiteral("DELETE FROM %1 WHERE row IN (SELECT row FROM %1 ORDER BY row LIMIT ?)")
                          .arg(sqlTable));
        query.addBindValue(excess);
        if (!query.exec()) {
            m_error = query.lastError().text();
            return 0;
        }
        *dropped = query.numRowsAffected();
    }
    query.prepare(
        QStringLiteral("INSERT INTO %1 (stored, process, type, subtype, data) VALUES (?, ?, ?, ?, ?)")
            .arg(sqlTable));
    query.addBindValue(now());
    query.addBindValue(process);
    query.addBindValue(type);
    query.addBindValue(subtype);
    query.addBindValue(data);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return 0;
    }
    return query.lastInsertId().toULongLong();
}

QList<CStoreDatabase::LogEntry> CStoreDatabase::logEntries(const QString &table, int last)
{
    QList<LogEntry> entries;
    QSqlQuery query(m_db);
    // Newest first with a limit, turned back into row order below.
    query.prepare(
        QStringLiteral("SELECT row, stored, process, type, subtype, data FROM %1 ORDER BY row DESC LIMIT ?")
            .arg(tableName(table)));
    query.addBindValue(last > 0 ? last : -1);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return entries;
    }
    while (query.next()) {
        LogEntry entry;
        entry.row = query.value(0).toULongLong();
        entry.stored = query.value(1).toString();
        entry.process = query.value(2).toInt();
        entry.type = query.value(3).toInt();
        entry.subtype = query.value(4).toInt();
        entry.data = query.value(5).toByteArray();
        entries.prepend(entry);
    }
    return entries;
}

bool CStoreDatabase::clear()
{
    // Row ids start at 1 again, so a reset store looks like a new one.
    return exec(QStringLiteral("DELETE FROM records")) && exec(QStringLiteral("DELETE FROM ") + kGpsTable) &&
           exec(QStringLiteral("DELETE FROM ") + kTrackingTable) &&
           exec(QStringLiteral("DELETE FROM sqlite_sequence"));
}

QString CStoreDatabase::now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}
