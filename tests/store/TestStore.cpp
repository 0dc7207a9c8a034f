#include "TestStore.h"

#include <QDeadlineTimer>

namespace
{
constexpr int kStopTimeoutMs = 3000;
constexpr int kPollMs = 100;
} // namespace

QString TestStore::binary()
{
    return QStringLiteral(VORLAN_BINARY_DIR "/store/vorlan-store");
}

QDBusMessage TestStore::message(const QString &member, const QVariantList &args)
{
    // The data service's objects: path and last word of the interface.
    static const QStringList objects{QStringLiteral("/SetupData Setup"),
                                     QStringLiteral("/RuntimeData Runtime"),
                                     QStringLiteral("/Logbook Logbook")};
    QStringList object{QStringLiteral("/StoreControl"), QStringLiteral("StoreControl")};
    for (const QString &candidate : objects) {
        if (member.mid(3).startsWith(candidate.section(QLatin1Char(' '), 1)))
            object = candidate.split(QLatin1Char(' '));
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("com.Brask.Vorlan"), object[0],
                                       QStringLiteral("com.Brask.Vorlan.") + object[1], member);
    message.setArguments(args);
    return message;
}

QDBusMessage TestStore::call(const QDBusConnection &conn, const QString &member, const QVariantList &args,
                             int timeoutMs)
{
    return conn.call(message(member, args), QDBus::Block, timeoutMs);
}

bool TestStore::start(const QStringList &arguments)
{
    QStringList command =
        m_launcher + QStringList{binary(), QStringLiteral("--bus"), m_busAddress} + arguments;
    const QString program = command.takeFirst();
    m_process.start(program, command);
    QDeadlineTimer deadline(kReadyTimeoutMs);
    QByteArray out;
    while (!out.contains("ready.\n")) {
        if (deadline.hasExpired() || (!m_process.waitForReadyRead(kPollMs) && !isRunning())) {
            m_error = QStringLiteral("vorlan-store not ready: ") + log();
            stop();
            return false;
        }
        out += m_process.readAllStandardOutput();
    }
    return true;
}

void TestStore::stop()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs))
        kill();
}

void TestStore::kill()
{
    m_process.kill();
    m_process.waitForFinished(kStopTimeoutMs);
}

QString TestStore::log()
{
    m_log += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_log;
}
