#include "TestGpsd.h"

#include "TestDaemon.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QStandardPaths>

#include <csignal>
#include <sys/wait.h>

namespace
{
constexpr int kStartAttempts = 3;
constexpr int kListenTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
constexpr int kPollMs = 50;

QString gpsdBinary()
{
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("gpsd"));
    return inPath.isEmpty()
               ? QStandardPaths::findExecutable(QStringLiteral("gpsd"), {QStringLiteral("/usr/sbin")})
               : inPath;
}

// A gpsd process with this number, not yet reaped.
bool isGpsd(pid_t pid)
{
    return pid > 0 && TestDaemon::procFile(pid, "comm").trimmed() == "gpsd";
}

bool isZombieOrGone(pid_t pid)
{
    const QByteArray state = TestDaemon::statFields(pid).value(0);
    return state.isEmpty() || state == "Z";
}
} // namespace

bool TestGpsd::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("gpsfake")).isEmpty() && !gpsdBinary().isEmpty();
}

bool TestGpsd::portAccepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(kPollMs);
}

bool TestGpsd::start(const QString &file, double cycleSec)
{
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (startOnce(file, cycleSec))
            return true;
        stop();
    }
    return false;
}

bool TestGpsd::startOnce(const QString &file, double cycleSec)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), m_dir.path());
    env.insert(QStringLiteral("PATH"),
               env.value(QStringLiteral("PATH")) + QStringLiteral(":/usr/sbin:/sbin"));
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("gpsfake"),
                    {QStringLiteral("-1"), QStringLiteral("-q"), QStringLiteral("-c"),
                     QString::number(cycleSec, 'f', 4), QStringLiteral("-P"), QString::number(kPort), file});
    if (!m_process.waitForStarted(kStopTimeoutMs)) {
        m_error = QStringLiteral("gpsfake did not start: ") + m_process.errorString();
        return false;
    }
    if (TestDaemon::poll([&] { return !isRunning() || portAccepts(kPort); }, kListenTimeoutMs, kPollMs) &&
        isRunning()) {
        m_gpsd = -1;
        for (pid_t child : TestDaemon::childrenOf(pid_t(m_process.processId())))
            m_gpsd = isGpsd(child) ? child : m_gpsd;
        return true;
    }
    m_error = QStringLiteral("gpsd did not come up: ") + QString::fromLocal8Bit(m_process.readAll());
    return false;
}

void TestGpsd::stop()
{
    if (isRunning()) {
        m_process.terminate(); // gpsfake ends its gpsd on SIGTERM, but may hang afterwards
        if (!m_process.waitForFinished(kStopTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(kStopTimeoutMs);
        }
    }
    reapGpsd();
}

bool TestGpsd::killGpsd()
{
    if (!isGpsd(m_gpsd) || ::kill(m_gpsd, SIGKILL) != 0)
        return false;
    // gpsfake notices its dead daemon and gives up; it must not linger.
    if (!m_process.waitForFinished(kStopTimeoutMs))
        stop();
    reapGpsd();
    return true;
}

bool TestGpsd::killFeed()
{
    if (!isRunning())
        return false;
    m_process.kill();
    m_process.waitForFinished(kStopTimeoutMs);
    return isGpsd(m_gpsd);
}

void TestGpsd::reapGpsd()
{
    if (m_gpsd <= 0)
        return;
    // A gpsd that outlived gpsfake was handed to us (the fixture makes the
    // test a child subreaper) and would keep the port.
    if (isGpsd(m_gpsd) && !isZombieOrGone(m_gpsd))
        ::kill(m_gpsd, SIGKILL);
    TestDaemon::poll([&] { return isZombieOrGone(m_gpsd); }, kStopTimeoutMs, kPollMs / 5);
    ::waitpid(m_gpsd, nullptr, WNOHANG);
    m_gpsd = -1;
}
