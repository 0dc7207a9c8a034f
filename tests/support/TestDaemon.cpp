#include "TestDaemon.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

QByteArray TestDaemon::procFile(pid_t pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> TestDaemon::statFields(pid_t pid)
{
    const QByteArray text = procFile(pid, "stat");
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

bool TestDaemon::poll(const std::function<bool()> &done, int timeoutMs, int periodMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !done(); QThread::msleep(periodMs))
        if (deadline.hasExpired())
            return false;
    return true;
}

QList<pid_t> TestDaemon::childrenOf(pid_t parent, const QString &command)
{
    QList<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        const pid_t pid = entry.toInt();
        if (pid > 0 && statFields(pid).value(1).toInt() == parent &&
            (command.isEmpty() || procFile(pid, "cmdline").contains(QFile::encodeName(command))))
            found << pid;
    }
    return found;
}

TestDaemon::TestDaemon()
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

TestDaemon::~TestDaemon()
{
    kill();
}

void TestDaemon::writeSettings(const QString &iniText)
{
    QFile::remove(QLatin1String(kSettingsFile));
    QFile file{QString::fromLatin1(kSettingsFile)};
    if (!iniText.isEmpty() && file.open(QIODevice::WriteOnly))
        file.write(iniText.toUtf8());
}

QString TestDaemon::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList TestDaemon::logLines()
{
    QString text = readFile(QLatin1String(kLogFile));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QString TestDaemon::messageOf(const QString &line)
{
    // "NOID(812):2021-05-03_20:38:54:123 W File: ..." -> "W File: ..."
    const int blank = line.indexOf(QLatin1Char(' '), line.indexOf(QLatin1String("):")));
    return blank < 0 ? QString() : line.mid(blank + 1);
}

QStringList TestDaemon::logMessages()
{
    QStringList out;
    const QStringList lines = logLines();
    for (const QString &line : lines)
        out << messageOf(line);
    return out;
}

qint64 TestDaemon::timeOf(const QString &line)
{
    const int colon = line.indexOf(QLatin1String("):"));
    QDateTime at = QDateTime::fromString(line.mid(colon + 2, 23), QStringLiteral("yyyy-MM-dd_HH:mm:ss:zzz"));
    at.setTimeSpec(Qt::UTC);
    return colon < 0 || !at.isValid() ? -1 : at.toMSecsSinceEpoch();
}

bool TestDaemon::start(const QProcessEnvironment &env)
{
    // Console output goes to a file: a pipe would close with the QProcess and
    // the detaching child would die of SIGPIPE on its next console line.
    QTemporaryFile output;
    output.open();
    QProcess parent;
    parent.setProcessEnvironment(env);
    parent.setProcessChannelMode(QProcess::MergedChannels);
    parent.setStandardOutputFile(output.fileName());
    const QStringList command = wrapper + QStringList{binary()};
    parent.start(command.first(), command.mid(1));
    if (!parent.waitForStarted(5000))
        return false;
    m_parentPid = pid_t(parent.processId());
    if (!parent.waitForFinished(startTimeoutMs)) {
        parent.kill();
        return false;
    }
    m_parentExit = parent.exitStatus() == QProcess::NormalExit ? parent.exitCode() : -1;
    QThread::msleep(50); // lets the child's lines before the detach land too
    m_parentOutput = output.readAll();

    QList<pid_t> children;
    if (!poll([&] { return !(children = childrenOf(getpid(), binary())).isEmpty(); }, startTimeoutMs))
        return false;
    m_pid = children.first();
    m_reaped = false;
    return m_parentExit == 0;
}

int TestDaemon::countLog(const QString &text) const
{
    return logLines().filter(text).size();
}

bool TestDaemon::waitForLog(const QString &text, int timeoutMs, int count) const
{
    return poll([&] { return countLog(text) >= count; }, timeoutMs, 25);
}

bool TestDaemon::sendSignal(int signalNumber) const
{
    return isRunning() && ::kill(m_pid, signalNumber) == 0;
}

bool TestDaemon::waitForExit(int timeoutMs, int *status)
{
    int st = 0;
    if (!isRunning() || !poll([&] { return waitpid(m_pid, &st, WNOHANG) == m_pid; }, timeoutMs, 10))
        return false;
    m_reaped = true;
    if (status)
        *status = st;
    return true;
}

bool TestDaemon::exitedWith(int code, int timeoutMs)
{
    int status = 0;
    return waitForExit(timeoutMs, &status) && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

qint64 TestDaemon::cpuMs() const
{
    // User and system time, fields 14 and 15 of the file, in clock ticks.
    const QList<QByteArray> fields = statFields(m_pid);
    return (fields.value(11).toLongLong() + fields.value(12).toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

void TestDaemon::kill()
{
    if (sendSignal(SIGKILL))
        waitForExit(3000);
}
