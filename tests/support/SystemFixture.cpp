#include "SystemFixture.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

SystemFixture::SystemFixture(TestBus::Listen listen) : bus(listen) {}

bool SystemFixture::startBus()
{
    if (!bus.start()) {
        error = bus.error();
        return false;
    }
    peer.reset(); // a new bus: the old connection's name must be free first
    peer.reset(new BusPeer(bus.unixAddress()));
    return peer->isConnected();
}

bool SystemFixture::startStore(const QStringList &extraArguments)
{
    store.reset(new TestStore(bus.unixAddress()));
    const QStringList where = storeDatabase.isEmpty() ? QStringList{QStringLiteral("--memory")}
                                                      : QStringList{QStringLiteral("--db"), storeDatabase};
    if (store->start(QStringList{QStringLiteral("--call-log"), callLogPath()} + where + extraArguments))
        return true;
    error = store->error();
    return false;
}

bool SystemFixture::startDaemon(const QString &settings, const QString &busAddress)
{
    TestDaemon::writeSettings(QStringLiteral("[DEBUG_MESSAGES]\nLog_Level=0\nLogfile_Size=50000000\n") +
                              settings);
    QFile::remove(QLatin1String(TestDaemon::kLogFile));
    auto env = daemonEnvironment;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               busAddress.isEmpty() ? bus.unixAddress() : busAddress);
    if (daemon.start(env))
        return true;
    error = QStringLiteral("daemon did not start");
    return false;
}

bool SystemFixture::requestStart(int timeoutMs)
{
    if (!daemon.waitForLog(QStringLiteral("Connected to"), timeoutMs))
        return false;
    // The daemon logs its connection before it subscribes to the start
    // signal, so a start sent at once can go unheard; a repeated one is
    // ignored once the daemon has started.
    QDeadlineTimer deadline(timeoutMs);
    do {
        peer->emitSignal(QStringLiteral("sigProcessStart"), {peer->pid(), int(daemon.pid())});
        if (daemon.waitForLog(QStringLiteral("signal 'SetSystemReady' received"), 1000))
            return true;
    } while (!deadline.hasExpired());
    return false;
}

bool SystemFixture::startSequence(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    if (!requestStart(timeoutMs))
        return false;
    // The tracking configuration is the last step of the start sequence: a
    // stored record is fetched, a missing one is stored (or fails to be).
    do {
        if (daemon.countLog(QStringLiteral("'setSetupGpsTracking' successfull'")) > 0 ||
            daemon.countLog(QStringLiteral("Line:  1231 :")) > 0 ||
            members().contains(QStringLiteral("getSetupGpsTracking")))
            return true;
        QThread::msleep(25);
    } while (!deadline.hasExpired());
    return false;
}

bool SystemFixture::storeSetup(const QString &setMember, const QByteArray &record, int process)
{
    QDBusInterface setup(QStringLiteral("com.Brask.Vorlan"), QStringLiteral("/SetupData"),
                         QStringLiteral("com.Brask.Vorlan.Setup"), peer->bus());
    const QDBusReply<int> reply = setup.call(setMember, process ? process : peer->pid(), record);
    return reply.isValid() && reply.value() == 1;
}

bool SystemFixture::storeRaw(const QString &name, const QByteArray &bytes)
{
    if (storeDatabase.isEmpty())
        storeDatabase = m_dir.filePath(QStringLiteral("store.sqlite"));
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(storeDatabase);
        QSqlQuery query(db);
        // The store's own table; it creates it the same way when missing.
        ok = db.open() &&
             query.exec(
                 QStringLiteral("CREATE TABLE IF NOT EXISTS records (name TEXT PRIMARY KEY, process INTEGER "
                                "NOT NULL, stored TEXT NOT NULL, data BLOB NOT NULL)")) &&
             query.prepare(QStringLiteral("INSERT OR REPLACE INTO records VALUES (?, 0, '', ?)"));
        query.addBindValue(name);
        query.addBindValue(bytes);
        ok = ok && query.exec();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return ok;
}

QList<SystemFixture::Call> SystemFixture::calls() const
{
    QList<Call> out;
    QFile file(callLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return out;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() < 6)
            continue;
        const qint64 atMs =
            QDateTime::fromString(QString::fromLatin1(f.at(1)), Qt::ISODateWithMs).toMSecsSinceEpoch();
        out.append({atMs, QString::fromLatin1(f.at(2)), QString::fromLatin1(f.at(3)),
                    QString::fromLatin1(f.at(4)),
                    f.at(5) == "-" ? QByteArray() : QByteArray::fromHex(f.at(5))});
    }
    return out;
}

QStringList SystemFixture::members() const
{
    QStringList out;
    for (const Call &c : calls())
        out << c.member;
    return out;
}

bool SystemFixture::answersNameRequest(int timeoutMs)
{
    const int before = peer->seen(QStringLiteral("sigSendName")).size();
    peer->emitSignal(QStringLiteral("sigGetName"), {peer->pid(), int(daemon.pid())});
    return peer->waitFor(QStringLiteral("sigSendName"), before + 1, timeoutMs);
}
