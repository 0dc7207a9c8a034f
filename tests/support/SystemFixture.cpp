#include "SystemFixture.h"

#include <QFile>

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
    auto env = QProcessEnvironment::systemEnvironment();
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
    peer->emitSignal(QStringLiteral("sigProcessStart"), {peer->pid(), int(daemon.pid())});
    // The tracking configuration is the last step of the start sequence.
    return daemon.waitForLog(QStringLiteral("'setSetupGpsTracking' successfull'"), timeoutMs) ||
           daemon.waitForLog(QStringLiteral("Line:  1231 :"), 100) ||
           members().contains(QStringLiteral("getSetupGpsTracking"));
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
        out.append({QString::fromLatin1(f.at(2)), QString::fromLatin1(f.at(3)), QString::fromLatin1(f.at(4)),
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
