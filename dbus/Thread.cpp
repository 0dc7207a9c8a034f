#include "Thread.h"

#include "logging/CLogStream.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {
constexpr int kHeartbeatMs = 800;
const char kSource[] = "cgpsprog";
const char kConnectionName[] = "vorlan-heartbeat";
} // namespace

Thread::Thread(int ownProcess) : m_ownProcess(ownProcess) {}

Thread::~Thread() = default;

void Thread::run()
{
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QLatin1String(kConnectionName));
    QDBusMessage beat = QDBusMessage::createSignal(QStringLiteral("/"), QStringLiteral("com.Brask.Vorlan.Signals"),
                                                   QStringLiteral("sigTrigger"));
    beat << m_ownProcess;

    if (bus.isConnected()) {
        CLogStream(QtDebugMsg, kSource, 1832) << "Thread connected to session bus!";
        stopRequest = false;
        while (!stopRequest) {
            running = true;
            msleep(kHeartbeatMs);
            bus.send(beat);
        }
        running = false;
    }
    CLogStream(QtDebugMsg, kSource, 1854) << "Thread end";
    running = false;
}
