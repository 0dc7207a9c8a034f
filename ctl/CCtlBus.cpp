#include "CCtlBus.h"

#include "setup_interface.h"
#include "storecontrol_interface.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

const char *const CCtlBus::kService = "com.Brask.Vorlan";
const char *const CCtlBus::kSignalsInterface = "com.Brask.Vorlan.Signals";

namespace
{
const char *const kConnectionName = "vorlanctl";
constexpr int kPollSliceMs = 50;
} // namespace

CCtlBus::CCtlBus() : m_bus(QString::fromLatin1(kConnectionName)) {}

CCtlBus::~CCtlBus()
{
    m_setup.reset();
    m_control.reset();
    if (!m_address.isEmpty())
        QDBusConnection::disconnectFromBus(QString::fromLatin1(kConnectionName));
}

bool CCtlBus::open(const QString &address, QString *error)
{
    m_address = address;
    m_bus = address.isEmpty() ? QDBusConnection::sessionBus()
                              : QDBusConnection::connectToBus(address, QString::fromLatin1(kConnectionName));
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("cannot connect to %1: %2").arg(description(), m_bus.lastError().message());
        return false;
    }
    const QString iface = QString::fromLatin1(kSignalsInterface);
    m_bus.connect(QString(), QString(), iface, QStringLiteral("sigTrigger"), this, SLOT(onTrigger(int)));
    m_bus.connect(QString(), QString(), iface, QStringLiteral("sigSendName"), this,
                  SLOT(onSendName(int, QByteArray)));
    return true;
}

QString CCtlBus::description() const
{
    return m_address.isEmpty() ? QStringLiteral("the session bus")
                               : QStringLiteral("the bus at %1").arg(m_address);
}

int CCtlBus::ownPid()
{
    return static_cast<int>(QCoreApplication::applicationPid());
}

bool CCtlBus::storePresent(QString *error)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    call << QString::fromLatin1(kService);
    const QDBusReply<bool> reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        *error = QStringLiteral("%1 does not answer: %2").arg(description(), reply.error().message());
        return false;
    }
    if (!reply.value()) {
        *error = QStringLiteral("the data service %1 is not running on %2")
                     .arg(QLatin1String(kService), description());
        return false;
    }
    return true;
}

ComBraskVorlanSetupInterface &CCtlBus::setup()
{
    if (!m_setup) {
        m_setup = std::make_unique<ComBraskVorlanSetupInterface>(QString::fromLatin1(kService),
                                                                 QStringLiteral("/SetupData"), m_bus);
        m_setup->setTimeout(kCallTimeoutMs);
    }
    return *m_setup;
}

ComBraskVorlanStoreControlInterface &CCtlBus::control()
{
    if (!m_control) {
        m_control = std::make_unique<ComBraskVorlanStoreControlInterface>(
            QString::fromLatin1(kService), QStringLiteral("/StoreControl"), m_bus);
        m_control->setTimeout(kCallTimeoutMs);
    }
    return *m_control;
}

template <typename Done> bool CCtlBus::waitUntil(int msecs, Done done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        const qint64 left = msecs - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(qMin<qint64>(left, kPollSliceMs)), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

int CCtlBus::waitForHeartbeat(int msecs)
{
    m_heartbeatPid = 0;
    waitUntil(msecs, [this] { return m_heartbeatPid != 0; });
    return m_heartbeatPid;
}

bool CCtlBus::askName(int pid, int msecs, QByteArray *name)
{
    m_namePid = pid;
    m_nameAnswered = false;
    QString error;
    if (!sendSignal(QStringLiteral("sigGetName"), {ownPid(), pid}, &error))
        return false;
    if (!waitUntil(msecs, [this] { return m_nameAnswered; }))
        return false;
    *name = m_name;
    return true;
}

bool CCtlBus::sendSignal(const QString &member, const QVariantList &args, QString *error)
{
    QDBusMessage message = QDBusMessage::createSignal(QStringLiteral("/Signals"),
                                                      QString::fromLatin1(kSignalsInterface), member);
    message.setArguments(args);
    if (!m_bus.send(message)) {
        *error = QStringLiteral("cannot send %1 on %2: %3")
                     .arg(member, description(), m_bus.lastError().message());
        return false;
    }
    // Messages leave in order: once the bus has answered this call, the signal is out.
    QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    const QDBusMessage pong = m_bus.call(ping, QDBus::Block, kCallTimeoutMs);
    if (pong.type() == QDBusMessage::ErrorMessage) {
        *error = QStringLiteral("%1 does not answer: %2").arg(description(), pong.errorMessage());
        return false;
    }
    return true;
}

void CCtlBus::onTrigger(int iProcess)
{
    if (m_heartbeatPid == 0 && iProcess != ownPid())
        m_heartbeatPid = iProcess;
}

void CCtlBus::onSendName(int iProcess, const QByteArray &name)
{
    if (iProcess == m_namePid && !m_nameAnswered) {
        m_name = name;
        m_nameAnswered = true;
    }
}
