#ifndef CSTORECORE_H
#define CSTORECORE_H

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CStoreDatabase;

// The work of the data service behind the bus objects: checks and stores
// records and logbook entries, keeps the call log and the injected faults
// and delays. Replies and signals are the bus objects' matter.
class CStoreCore
{
public:
    // Lines kept in memory; the file given by --call-log keeps everything.
    static constexpr int kCallLogLimit = 100000;

    CStoreCore(CStoreDatabase &database, int maxRecordBytes, int maxLogbookEntries);

    // A code that means the record or entry was stored.
    static bool isStored(int code);

    // Names of the data service's members; faults and delays name one of them.
    void setMembers(const QStringList &members);
    bool isMember(const QString &member) const { return m_members.contains(member); }
    bool openCallLogFile(const QString &path, QString *error);

    bool setFault(const QString &member, int code, QString *error);
    // Empty member: all of them.
    void clearFault(const QString &member);
    bool setDelay(const QString &member, int msecs, QString *error);
    int delay(const QString &member) const { return m_delays.value(member, 0); }
    QStringList faultLines() const;

    // set... members: the reply code. Logged in the call log.
    int set(const QString &member, int process, const QByteArray &data);
    // get... members: false when a fault is injected (*faultCode tells which).
    bool get(const QString &member, QByteArray *data, int *faultCode);
    // Logbook members: the reply code and the new row id (0 when nothing was stored).
    // A full table drops its oldest entry and answers SUCCESS_AFTER_DELETE_ONE_ROW.
    int appendLog(const QString &member, int process, const QByteArray &data, quint64 *row);

    QStringList callLog() const { return m_callLog; }
    void clearCallLog()
    {
        m_callLog.clear();
        m_callCount = 0;
    }
    // Lines "ROW TIME PROCESS TYPE SUBTYPE HEX"; empty list and *error for an unknown table.
    QStringList logbookLines(const QString &table, int last, QString *error);

    // Number of records and entries stored, -1 with *error on a bad seed.
    int loadSeed(const QString &path, QString *error);
    bool reset(QString *error);

    static QString recordName(const QString &member) { return member.mid(3); }
    static QString logTable(const QString &member);

private:
    int store(const QString &member, int process, const QByteArray &data, quint64 *row);
    int loadSeedFile(const QString &path, QString *error);
    int seedOne(const QString &name, const QByteArray &data, const QString &where, QString *error);
    void logCall(const QString &member, const QString &process, const QString &reply,
                 const QByteArray &bytes);

    CStoreDatabase &m_database;
    const int m_maxRecordBytes;
    const int m_maxLogbookEntries;
    QSet<QString> m_members;
    QMap<QString, int> m_faults;
    QMap<QString, int> m_delays;
    QStringList m_callLog;
    quint64 m_callCount = 0;
    QFile m_callLogFile;
};

#endif // CSTORECORE_H
