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

namespace {
// Children of the test process whose executable is the daemon binary.
QList<pid_t> daemonChildren()
{
    QList<pid_t> found;
    const QString me = QString::number(getpid());
    const QString exe = QFileInfo(TestDaemon::binary()).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // "pid (comm) state ppid ..."; comm may hold blanks, so split after ')'.
        const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (rest.size() < 2 || QString::fromLatin1(rest.at(1)) != me)
            continue;
        if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).canonicalFilePath() == exe)
            found << pid;
    }
    return found;
}
} // namespace

TestDaemon::TestDaemon()
{
    prctl(PR_SET_CHILD_SUBREAPER, 1);
}

TestDaemon::~TestDaemon()
{
    kill();
}

QString TestDaemon::binary()
{
    return QStringLiteral(VORLAN_BINARY_DIR "/app/vorlan-gps");
}

void TestDaemon::writeSettings(const QString &iniText)
{
    QFile::remove(QLatin1String(kSettingsFile));
    if (iniText.isEmpty())
        return;
    QFile file{QString::fromLatin1(kSettingsFile)};
    if (file.open(QIODevice::WriteOnly))
        file.write(iniText.toUtf8());
}

QString TestDaemon::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
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
    const int colon = line.indexOf(QLatin1String("):"));
    const int blank = line.indexOf(QLatin1Char(' '), colon);
    return blank < 0 ? QString() : line.mid(blank + 1);
}

qint64 TestDaemon::timeOf(const QString &line)
{
    const int colon = line.indexOf(QLatin1String("):"));
    if (colon < 0)
        return -1;
    QDateTime at = QDateTime::fromString(line.mid(colon + 2, 23), QStringLiteral("yyyy-MM-dd_HH:mm:ss:zzz"));
    if (!at.isValid())
        return -1;
    at.setTimeSpec(Qt::UTC);
    return at.toMSecsSinceEpoch();
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
    parent.start(binary(), QStringList());
    if (!parent.waitForStarted(5000))
        return false;
    m_parentPid = pid_t(parent.processId());
    if (!parent.waitForFinished(10000)) {
        parent.kill();
        return false;
    }
    m_parentExit = parent.exitStatus() == QProcess::NormalExit ? parent.exitCode() : -1;
    QThread::msleep(50); // lets the child's lines before the detach land too
    m_parentOutput = output.readAll();

    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        const QList<pid_t> children = daemonChildren();
        if (!children.isEmpty()) {
            m_pid = children.first();
            m_reaped = false;
            return m_parentExit == 0;
        }
        QThread::msleep(20);
    }
    return false;
}

int TestDaemon::countLog(const QString &text) const
{
    int n = 0;
    const QStringList lines = logLines();
    for (const QString &line : lines)
        n += line.contains(text) ? 1 : 0;
    return n;
}

bool TestDaemon::waitForLog(const QString &text, int timeoutMs, int count) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        if (countLog(text) >= count)
            return true;
        QThread::msleep(25);
    } while (!deadline.hasExpired());
    return countLog(text) >= count;
}

bool TestDaemon::sendSignal(int signalNumber) const
{
    return m_pid > 0 && !m_reaped && ::kill(m_pid, signalNumber) == 0;
}

bool TestDaemon::waitForExit(int timeoutMs, int *status)
{
    if (m_pid <= 0 || m_reaped)
        return false;
    QDeadlineTimer deadline(timeoutMs);
    do {
        int st = 0;
        const pid_t r = waitpid(m_pid, &st, WNOHANG);
        if (r == m_pid) {
            m_reaped = true;
            if (status)
                *status = st;
            return true;
        }
        QThread::msleep(10);
    } while (!deadline.hasExpired());
    return false;
}

void TestDaemon::kill()
{
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        waitForExit(3000);
    }
}
