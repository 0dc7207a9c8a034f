#include "BusPeer.h"

#include "SystemFixture.h"

#include <QCoreApplication>
#include <QDateTime>

BusPeer::BusPeer(const QString &address, const QString &name)
    : m_name(name), m_bus(QDBusConnection::connectToBus(address, name))
{
    m_clock.start();
    for (const char *interface : {"com.Brask.Vorlan.Signals", "com.Brask.Vorlan.Setup",
                                  "com.Brask.Vorlan.Runtime", "com.Brask.Vorlan.Logbook"})
        m_bus.connect(QString(), QString(), QLatin1String(interface), QString(), this,
                      SLOT(onMessage(QDBusMessage)));
}

BusPeer::~BusPeer()
{
    QDBusConnection::disconnectFromBus(m_name);
}

void BusPeer::emitSignal(const QString &member, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createSignal(QStringLiteral("/Signals"),
                                                      QStringLiteral("com.Brask.Vorlan.Signals"), member);
    message.setArguments(arguments);
    m_bus.send(message);
}

void BusPeer::onMessage(const QDBusMessage &message)
{
    m_seen.append({m_clock.elapsed(), QDateTime::currentMSecsSinceEpoch(), message.member(), message.path(),
                   message.arguments()});
}

QList<BusPeer::Seen> BusPeer::seen(const QString &member) const
{
    QList<Seen> out;
    for (const Seen &s : m_seen)
        if (s.member == member)
            out << s;
    return out;
}

bool BusPeer::waitFor(const QString &member, int count, int timeoutMs)
{
    return SystemFixture::waitUntil([&] { return seen(member).size() >= count; }, timeoutMs);
}
