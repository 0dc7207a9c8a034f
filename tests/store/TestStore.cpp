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

bool TestStore::start(const QStringList &arguments)
{
    m_process.start(binary(), QStringList{QStringLiteral("--bus"), m_busAddress} + arguments);
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
