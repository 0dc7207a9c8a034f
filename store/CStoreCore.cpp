#include "CStoreCore.h"

#include "CStoreDatabase.h"
#include "CStoreRecords.h"
#include "records/CReplyCode.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace
{
const QString kNone = QStringLiteral("-");

QString hexOrNone(const QByteArray &bytes)
{
    return bytes.isEmpty() ? kNone : QString::fromLatin1(bytes.toHex());
}
} // namespace

CStoreCore::CStoreCore(CStoreDatabase &database, int maxRecordBytes, int maxLogbookEntries)
    : m_database(database), m_maxRecordBytes(maxRecordBytes), m_maxLogbookEntries(maxLogbookEntries)
{
}

bool CStoreCore::isStored(int code)
{
    return code == CReplyCode::REPLY_SUCCESS || code == CReplyCode::SUCCESS_AFTER_DELETE_ONE_ROW;
}

void CStoreCore::setMembers(const QStringList &members)
{
    m_members = QSet<QString>(members.begin(), members.end());
}

bool CStoreCore::openCallLogFile(const QString &path, QString *error)
{
    m_callLogFile.setFileName(path);
    if (!m_callLogFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        *error = QStringLiteral("cannot open call log %1: %2").arg(path, m_callLogFile.errorString());
        return false;
    }
    return true;
}

bool CStoreCore::setFault(const QString &member, int code, QString *error)
{
    if (!isMember(member)) {
        *error = QStringLiteral("no member \"%1\" in the data service").arg(member);
        return false;
    }
    m_faults.insert(member, code);
    qInfo("fault: %s answers %s", qPrintable(member), qPrintable(CReplyCode::name(code)));
    return true;
}

void CStoreCore::clearFault(const QString &member)
{
    if (member.isEmpty())
        m_faults.clear();
    else
        m_faults.remove(member);
}

bool CStoreCore::setDelay(const QString &member, int msecs, QString *error)
{
    if (!isMember(member)) {
        *error = QStringLiteral("no member \"%1\" in the data service").arg(member);
        return false;
    }
    if (msecs < 0) {
        *error = QStringLiteral("a delay cannot be negative");
        return false;
    }
    if (msecs == 0)
        m_delays.remove(member);
    else
        m_delays.insert(member, msecs);
    return true;
}

QStringList CStoreCore::faultLines() const
{
    QStringList lines;
    for (auto it = m_faults.cbegin(); it != m_faults.cend(); ++it)
        lines << QStringLiteral("%1=%2").arg(it.key()).arg(it.value());
    for (auto it = m_delays.cbegin(); it != m_delays.cend(); ++it)
        lines << QStringLiteral("%1+%2").arg(it.key()).arg(it.value());
    return lines;
}

QString CStoreCore::logTable(const QString &member)
{
    if (member == QLatin1String("setLogbookGPS"))
        return QStringLiteral("gps");
    if (member == QLatin1String("setLogbookDataTracking"))
        return QStringLiteral("tracking");
    return QString();
}

int CStoreCore::set(const QString &member, int process, const QByteArray &data)
{
    int code = CReplyCode::REPLY_SUCCESS;
    if (m_faults.contains(member)) {
        code = m_faults.value(member);
        qInfo("%s from %d answered %s by an injected fault", qPrintable(member), process,
              qPrintable(CReplyCode::name(code)));
    } else {
        code = store(member, process, data, nullptr);
    }
    logCall(member, QString::number(process), QString::number(code), data);
    return code;
}

int CStoreCore::appendLog(const QString &member, int process, const QByteArray &data, quint64 *row)
{
    *row = 0;
    int code = CReplyCode::REPLY_SUCCESS;
    if (m_faults.contains(member)) {
        code = m_faults.value(member);
        qInfo("%s from %d answered %s by an injected fault", qPrintable(member), process,
              qPrintable(CReplyCode::name(code)));
    } else {
        code = store(member, process, data, row);
    }
    logCall(member, QString::number(process), QString::number(code), data);
    return code;
}

bool CStoreCore::get(const QString &member, QByteArray *data, int *faultCode)
{
    if (m_faults.contains(member)) {
        *faultCode = m_faults.value(member);
        *data = QByteArray();
        logCall(member, kNone, QStringLiteral("error"), QByteArray());
        return false;
    }
    *data = m_database.record(recordName(member));
    logCall(member, kNone, data->isNull() ? QStringLiteral("null") : QStringLiteral("ay"), *data);
    return true;
}

int CStoreCore::store(const QString &member, int process, const QByteArray &data, quint64 *row)
{
    const QString table = logTable(member);
    const QString name = table.isEmpty() ? recordName(member) : member;
    if (data.size() > m_maxRecordBytes) {
        qWarning("%s from %d refused: %d bytes, more than the %d allowed", qPrintable(member), process,
                 int(data.size()), m_maxRecordBytes);
        return CReplyCode::VALIDATION_ERROR;
    }
    QString why;
    if (!table.isEmpty()) {
        int type = 0;
        int subtype = 0;
        const int code = CStoreRecords::checkLogEntry(table, data, &type, &subtype, &why);
        if (code != CReplyCode::REPLY_SUCCESS) {
            qWarning("%s from %d refused with %s: %s", qPrintable(member), process,
                     qPrintable(CReplyCode::name(code)), qPrintable(why));
            return code;
        }
        int dropped = 0;
        const quint64 id =
            m_database.appendLog(table, process, type, subtype, data, m_maxLogbookEntries, &dropped);
        if (id == 0) {
            qWarning("%s from %d not stored: %s", qPrintable(member), process,
                     qPrintable(m_database.lastError()));
            return CReplyCode::SQL_QUERY_EXEC_INSERT;
        }
        if (row)
            *row = id;
        if (dropped == 0)
            return CReplyCode::REPLY_SUCCESS;
        // The truck keeps recording when its logbook is full: the newest
        // entries matter, the oldest have long been transferred.
        qInfo("%s from %d: logbook %s holds %d entries, %d oldest dropped", qPrintable(member), process,
              qPrintable(table), m_maxLogbookEntries, dropped);
        return CReplyCode::SUCCESS_AFTER_DELETE_ONE_ROW;
    }

    const int code = CStoreRecords::check(name, data, &why);
    if (code != CReplyCode::REPLY_SUCCESS) {
        qWarning("%s from %d refused with %s: %s", qPrintable(member), process,
                 qPrintable(CReplyCode::name(code)), qPrintable(why));
        return code;
    }
    QByteArray merged = data;
    if (CStoreRecords::isRuntimeRecord(name))
        merged = CStoreRecords::merge(name, m_database.record(name), data);
    if (!m_database.putRecord(name, process, merged)) {
        qWarning("%s from %d not stored: %s", qPrintable(member), process,
                 qPrintable(m_database.lastError()));
        return CReplyCode::SQL_QUERY_EXEC_INSERT;
    }
    return CReplyCode::REPLY_SUCCESS;
}

void CStoreCore::logCall(const QString &member, const QString &process, const QString &reply,
                         const QByteArray &bytes)
{
    const QString line = QStringLiteral("%1 %2 %3 %4 %5 %6")
                             .arg(++m_callCount)
                             .arg(CStoreDatabase::now(), member, process, reply, hexOrNone(bytes));
    m_callLog << line;
    if (m_callLog.size() > kCallLogLimit)
        m_callLog.removeFirst();
    if (m_callLogFile.isOpen()) {
        m_callLogFile.write(line.toLatin1() + '\n');
        m_callLogFile.flush();
    }
}

QStringList CStoreCore::logbookLines(const QString &table, int last, QString *error)
{
    QStringList lines;
    if (!CStoreDatabase::isLogTable(table)) {
        *error = QStringLiteral("no logbook table \"%1\" (gps or tracking)").arg(table);
        return lines;
    }
    const QList<CStoreDatabase::LogEntry> entries = m_database.logEntries(table, last);
    for (const CStoreDatabase::LogEntry &entry : entries) {
        lines << QStringLiteral("%1 %2 %3 %4 %5 %6")
                     .arg(entry.row)
                     .arg(entry.stored)
                     .arg(entry.process)
                     .arg(entry.type)
                     .arg(entry.subtype)
                     .arg(hexOrNone(entry.data));
    }
    return lines;
}

int CStoreCore::loadSeed(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("seed %1 does not exist").arg(path);
        return -1;
    }
    if (!info.isDir())
        return loadSeedFile(path, error);
    int count = 0;
    const QFileInfoList files = QDir(path).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        const int n = loadSeedFile(file.filePath(), error);
        if (n < 0)
            return -1;
        count += n;
    }
    return count;
}

int CStoreCore::loadSeedFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read seed %1: %2").arg(path, file.errorString());
        return -1;
    }
    const QFileInfo info(path);
    if (info.suffix() == QLatin1String("bin"))
        return seedOne(info.completeBaseName(), file.readAll(), path, error);

    int count = 0;
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QByteArray hex = parts.value(1).toLatin1();
        const QByteArray data = QByteArray::fromHex(hex);
        const QString where = QStringLiteral("%1:%2").arg(path).arg(lineNumber);
        if (parts.size() != 2 || data.toHex() != hex.toLower()) {
            *error = QStringLiteral("%1: want \"NAME HEX\"").arg(where);
            return -1;
        }
        if (seedOne(parts.at(0), data, where, error) < 0)
            return -1;
        ++count;
    }
    return count;
}

int CStoreCore::seedOne(const QString &name, const QByteArray &data, const QString &where, QString *error)
{
    const QString member = QStringLiteral("set") + name;
    if (!isMember(member)) {
        *error = QStringLiteral("%1: no record or logbook named \"%2\"").arg(where, name);
        return -1;
    }
    quint64 row = 0;
    const int code = store(member, 0, data, &row);
    if (!isStored(code)) {
        *error = QStringLiteral("%1: %2 refused with %3").arg(where, name, CReplyCode::name(code));
        return -1;
    }
    return 1;
}

bool CStoreCore::reset(QString *error)
{
    m_faults.clear();
    m_delays.clear();
    m_callLog.clear();
    m_callCount = 0;
    if (!m_database.clear()) {
        *error = m_database.lastError();
        return false;
    }
    qInfo("reset: every record, logbook entry, call, fault and delay forgotten");
    return true;
}
