#include "TestGpsd.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
constexpr int kStartAttempts = 3;
constexpr int kListenTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
constexpr int kPollMs = 50;

const QStringList &sbinDirs()
{
    static const QStringList dirs{QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
                                  QStringLiteral("/sbin")};
    return dirs;
}

QString gpsdBinary()
{
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("gpsd"));
    return inPath.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("gpsd"), sbinDirs()) : inPath;
}

bool portAccepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

QByteArray procText(pid_t pid, const char *entry)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(entry)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A live (not yet reaped) gpsd process with this number.
bool isGpsd(pid_t pid)
{
    return pid > 0 && procText(pid, "comm").trimmed() == "gpsd";
}

bool isZombieOrGone(pid_t pid)
{
    const QByteArray stat = procText(pid, "stat");
    const int close = stat.lastIndexOf(')');
    return stat.isEmpty() || close < 0 || stat.mid(close + 2, 1) == "Z";
}

pid_t gpsdChildOf(pid_t parent)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid || !isGpsd(pid))
            continue;
        const QByteArray stat = procText(pid, "stat");
        const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest.at(1).toInt() == parent)
            return pid;
    }
    return -1;
}
} // namespace

TestGpsd::~TestGpsd()
{
    stop();
}

bool TestGpsd::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("gpsfake")).isEmpty() && !gpsdBinary().isEmpty();
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
               env.value(QStringLiteral("PATH")) + QLatin1Char(':') + sbinDirs().join(':'));
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("gpsfake"),
                    {QStringLiteral("-1"), QStringLiteral("-q"), QStringLiteral("-c"),
                     QString::number(cycleSec, 'f', 4), QStringLiteral("-P"), QString::number(kPort), file});
    if (!m_process.waitForStarted(kStopTimeoutMs)) {
        m_error = QStringLiteral("gpsfake did not start: ") + m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(kListenTimeoutMs);
    while (!deadline.hasExpired() && isRunning()) {
        if (portAccepts(kPort)) {
            m_gpsd = gpsdChildOf(pid_t(m_process.processId()));
            return true;
        }
        QThread::msleep(kPollMs);
    }
    m_error = QStringLiteral("gpsd did not come up: ") + QString::fromLocal8Bit(m_process.readAll());
    return false;
}

void TestGpsd::stop()
{
    if (isRunning()) {
        resumeFeed();          // a stopped gpsfake would not see the SIGTERM
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

bool TestGpsd::pauseFeed()
{
    return isRunning() && ::kill(pid_t(m_process.processId()), SIGSTOP) == 0;
}

bool TestGpsd::resumeFeed()
{
    return isRunning() && ::kill(pid_t(m_process.processId()), SIGCONT) == 0;
}

void TestGpsd::reapGpsd()
{
    if (m_gpsd <= 0)
        return;
    // A gpsd that outlived gpsfake was handed to us (the fixture makes the
    // test a child subreaper) and would keep the port.
    if (isGpsd(m_gpsd) && !isZombieOrGone(m_gpsd))
        ::kill(m_gpsd, SIGKILL);
    QDeadlineTimer deadline(kStopTimeoutMs);
    while (!isZombieOrGone(m_gpsd) && !deadline.hasExpired())
        QThread::msleep(kPollMs / 5);
    ::waitpid(m_gpsd, nullptr, WNOHANG);
    m_gpsd = -1;
}
