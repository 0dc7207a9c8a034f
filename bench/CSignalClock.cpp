#include "CSignalClock.h"

#include "CGpsdObserver.h"

#include <QDBusConnection>
#include <QDBusMessage>

// Receives the bus messages in the clock's thread.
class CSignalClockReceiver : public QObject
{
    Q_OBJECT

public:
    explicit CSignalClockReceiver(CSignalClock *clock) : m_clock(clock) {}

public Q_SLOTS:
    void onMessage(const QDBusMessage &message)
    {
        const qint64 atNs = CGpsdObserver::realtimeNs();
        m_clock->record({atNs, message.arguments().value(1).toByteArray()});
    }

private:
    CSignalClock *m_clock;
};

CSignalClock::~CSignalClock()
{
    stop();
}

bool CSignalClock::start(const QString &busAddress)
{
    static int connections = 0;
    m_connectionName = QStringLiteral("signal-clock-%1").arg(++connections);
    QDBusConnection bus = QDBusConnection::connectToBus(busAddress, m_connectionName);
    if (!bus.isConnected())
        return false;
    m_receiver = new CSignalClockReceiver(this);
    m_receiver->moveToThread(&m_thread);
    m_thread.start();
    return bus.connect(QString(), QString(), QStringLiteral("com.Brask.Vorlan.Signals"),
                       QStringLiteral("sigActualGpsData"), m_receiver, SLOT(onMessage(QDBusMessage)));
}

void CSignalClock::stop()
{
    if (m_connectionName.isEmpty())
        return;
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_connectionName.clear();
    m_thread.quit();
    m_thread.wait();
    delete m_receiver;
    m_receiver = nullptr;
}

QList<CSignalClock::Seen> CSignalClock::seen() const
{
    QMutexLocker locker(&m_lock);
    return m_seen;
}

int CSignalClock::count() const
{
    QMutexLocker locker(&m_lock);
    return int(m_seen.size());
}

void CSignalClock::record(const Seen &seen)
{
    QMutexLocker locker(&m_lock);
    m_seen.append(seen);
}

#include "CSignalClock.moc"
