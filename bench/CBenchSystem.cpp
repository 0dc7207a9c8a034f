#include "CBenchSystem.h"

#include "CRotatedLog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
constexpr int kPollMs = 50;
constexpr int kStartRepeatMs = 1000;
constexpr int kCollectMs = 100;

// A child of this process (a subreaper) running the daemon binary, other
// than the wrapper's own process; -1 if none.
int forkedDaemon(qint64 wrapperPid)
{
    const QString me = QString::number(getpid());
    const QByteArray binary = QFile::encodeName(TestDaemon::binary());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || pid == wrapperPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (rest.size() >= 2 && QString::fromLatin1(rest.at(1)) == me && cmdline.readAll().contains(binary))
            return int(pid);
    }
    return -1;
}
} // namespace

CBenchSystem::~CBenchSystem()
{
    if (m_wrappedStart && m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_wrapped.state() != QProcess::NotRunning) {
        m_wrapped.kill();
        m_wrapped.waitForFinished(3000);
    }
}

bool CBenchSystem::inSandbox()
{
    return qgetenv("VORLAN_SANDBOX") == "1";
}

QString CBenchSystem::sbinTool(const QString &name)
{
    const QString inPath = QStandardPaths::findExecutable(name);
    return inPath.isEmpty() ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"),
                                                                    QStringLiteral("/usr/local/sbin"),
                                                                    QStringLiteral("/sbin")})
                            : inPath;
}

bool CBenchSystem::startServices(const QList<QPair<QString, QByteArray>> &setupRecords)
{
    if (!startBus() || !startStore())
        return false;
    for (const auto &record : setupRecords) {
        if (!storeSetup(record.first, record.second)) {
            error = QStringLiteral("the data service refused ") + record.first;
            return false;
        }
    }
    return true;
}

bool CBenchSystem::launchDaemon(const QString &settings, const QStringList &wrapper, int timeoutMs)
{
    TestDaemon::writeSettings(settings);
    const QString logFile = QLatin1String(TestDaemon::kLogFile);
    const QStringList old = QDir(QFileInfo(logFile).path()).entryList(QDir::Files);
    for (const QString &name : old)
        QFile::remove(QFileInfo(logFile).path() + QLatin1Char('/') + name);
    auto env = daemonEnvironment;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.unixAddress());
    if (wrapper.isEmpty()) {
        if (!daemon.start(env)) {
            error = QStringLiteral("the daemon did not start");
            return false;
        }
        m_pid = int(daemon.pid());
        return true;
    }

    m_wrappedStart = true;
    m_wrapped.setProcessEnvironment(env);
    m_wrapped.setProcessChannelMode(QProcess::MergedChannels);
    m_wrapped.setStandardOutputFile(QProcess::nullDevice());
    m_wrapped.start(wrapper.first(), wrapper.mid(1) + QStringList{TestDaemon::binary()});
    if (!m_wrapped.waitForStarted(timeoutMs)) {
        error = QStringLiteral("cannot start ") + wrapper.first();
        return false;
    }
    const qint64 wrapperPid = m_wrapped.processId();
    QDeadlineTimer deadline(timeoutMs);
    while (m_pid < 0 && !deadline.hasExpired()) {
        m_pid = forkedDaemon(wrapperPid);
        QThread::msleep(kPollMs);
    }
    if (m_pid < 0 || !m_wrapped.waitForFinished(int(qMax<qint64>(1, deadline.remainingTime())))) {
        error = QStringLiteral("the wrapped daemon did not detach");
        return false;
    }
    return m_wrapped.exitCode() == 0;
}

bool CBenchSystem::runStartSequence(int timeoutMs, CRotatedLog *log)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!members().contains(QStringLiteral("getSetupGpsTracking"))) {
        if (deadline.hasExpired()) {
            error = QStringLiteral("the daemon did not run its start sequence");
            return false;
        }
        peer->emitSignal(QStringLiteral("sigProcessStart"), {peer->pid(), m_pid});
        QEventLoop loop;
        QTimer collect;
        if (log)
            QObject::connect(&collect, &QTimer::timeout, [log] { log->poll(); });
        collect.start(kCollectMs);
        QTimer::singleShot(kStartRepeatMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool CBenchSystem::stopDaemon(int timeoutMs, int *status)
{
    if (!m_wrappedStart) {
        int st = 0;
        if (!daemon.sendSignal(SIGTERM) || !daemon.waitForExit(timeoutMs, &st))
            return false;
        if (status)
            *status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return true;
    }
    if (m_pid <= 0 || m_reaped || ::kill(m_pid, SIGTERM) != 0)
        return false;
    QDeadlineTimer deadline(timeoutMs);
    do {
        int st = 0;
        if (waitpid(m_pid, &st, WNOHANG) == m_pid) {
            m_reaped = true;
            if (status)
                *status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return true;
        }
        QThread::msleep(kPollMs);
    } while (!deadline.hasExpired());
    return false;
}

void CBenchSystem::runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool CBenchSystem::waitForPort(quint16 port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        if (TestGpsd::portAccepts(port))
            return true;
        QThread::msleep(kPollMs);
    } while (!deadline.hasExpired());
    return false;
}
