#include "CProcStatus.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace
{
// "VmRSS:	    1234 kB" -> 1234
qint64 statusValue(const QByteArray &status, const QByteArray &key)
{
    const int at = status.indexOf('\n' + key + ':');
    if (at < 0)
        return -1;
    const int end = status.indexOf('\n', at + 1);
    const QByteArray field = status.mid(at + key.size() + 2, end < 0 ? -1 : end - at - key.size() - 2);
    bool ok = false;
    const qint64 value = field.trimmed().split(' ').value(0).toLongLong(&ok);
    return ok ? value : -1;
}
} // namespace

CProcStatus CProcStatus::read(pid_t pid)
{
    CProcStatus out;
    if (pid <= 0)
        return out;
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return out;
    // A leading line break lets every key, the first one too, be found as "\nKey:".
    const QByteArray status = '\n' + file.readAll();
    out.rssKb = statusValue(status, "VmRSS");
    out.peakRssKb = statusValue(status, "VmHWM");
    out.threads = int(statusValue(status, "Threads"));
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // The name in parentheses may hold blanks; utime and stime are the
        // 12th and 13th fields after it.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 12)
            out.cpuTicks = f.at(11).toLongLong() + f.at(12).toLongLong();
    }
    const QDir fdDir(QStringLiteral("/proc/%1/fd").arg(pid));
    if (fdDir.exists())
        out.fds = int(fdDir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
    return out;
}

double CProcStatus::ticksPerSecond()
{
    return double(sysconf(_SC_CLK_TCK));
}
