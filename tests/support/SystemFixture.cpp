#include "SystemFixture.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

SystemFixture::SystemFixture(TestBus::Listen listen) : bus(listen) {}

bool SystemFixture::startBus()
{
    if (!bus.start()) {
        error = bus.error();
        return false;
    }
    peer.reset(new BusPeer(bus.unixAddress()));
    return peer->isConnected();
}

bool SystemFixture::startStore(const QStringList &extraArguments)
{
    store.reset(new TestStore(bus.unixAddress()));
    QStringList arguments{QStringLiteral("--memory"), QStringLiteral("--call-log"), callLogPath()};
    arguments += extraArguments;
    if (!store->start(arguments)) {
        error = store->error();
        return false;
    }
    return true;
}

bool SystemFixture::startDaemon(const QString &settings, const QString &busAddress)
{
    TestDaemon::writeSettings(QStringLiteral("[DEBUG_MESSAGES]\nLog_Level=0\nLogfile_Size=50000000\n") + settings);
    QFile::remove(QLatin1String(TestDaemon::kLogFile));
    auto env = daemonEnvironment;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress.isEmpty() ? bus.unixAddress() : busAddress);
    if (!daemon.start(env)) {
        error = QStringLiteral("daemon did not start");
        return false;
    }
    return true;
}

bool SystemFixture::startSequence(int timeoutMs)
{
    if (!daemon.waitForLog(QStringLiteral("Connected to"), timeoutMs))
        return false;
    // The daemon logs its connection before it subscribes to the start
    // signal, so a start sent at once can go unheard; a repeated one is
    // ignored once the daemon has started.
    QDeadlineTimer deadline(timeoutMs);
    do {
        peer->emitSignal(QStringLiteral("sigProcessStart"), {peer->pid(), int(daemon.pid())});
    } while (!daemon.waitForLog(QStringLiteral("signal 'SetSystemReady' received"), 1000) &&
             !deadline.hasExpired());
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

bool SystemFixture::storeSetup(const QString &setMember, const QByteArray &record)
{
    QDBusInterface setup(QStringLiteral("com.Brask.Vorlan"), QStringLiteral("/SetupData"),
                         QStringLiteral("com.Brask.Vorlan.Setup"), peer->bus());
    const QDBusReply<int> reply = setup.call(setMember, peer->pid(), record);
    return reply.isValid() && reply.value() == 1;
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
        out.append({atMs, QString::fromLatin1(f.at(2)), QString::fromLatin1(f.at(3)), QString::fromLatin1(f.at(4)),
                    f.at(5) == "-" ? QByteArray() : QByteArray::fromHex(f.at(5))});
    }
    return out;
}

QStringList SystemFixture::members() const
{
    QStringList out;
    const QList<Call> all = calls();
    for (const Call &c : all)
        out << c.member;
    return out;
}
