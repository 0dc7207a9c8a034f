#include "CFuzzEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace
{
void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

QTemporaryDir &scratch()
{
    // Destroyed at exit, which removes the directory and whatever the
    // targets left in it.
    // In memory where possible: the targets write a file per input, and
    // QSettings syncs its files to disk.
    const QString base =
        QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(base + QStringLiteral("/vorlan-fuzz-XXXXXX"));
    return dir;
}
} // namespace

void CFuzzEnvironment::setUp()
{
    setenv("TZ", kTimeZone, 1);
    tzset();
    qInstallMessageHandler(&dropMessage);
    if (!scratch().isValid())
        CFuzzEnvironmentFail("scratch directory", __FILE__, __LINE__);
}

QString CFuzzEnvironment::scratchDir()
{
    return scratch().path();
}

void CFuzzEnvironment::writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush() ||
        (modified.isValid() && !file.setFileTime(modified, QFileDevice::FileModificationTime)))
        CFuzzEnvironmentFail(qPrintable(QStringLiteral("cannot write ") + path), __FILE__, __LINE__);
}

QByteArray CFuzzEnvironment::toByteArray(const uint8_t *data, size_t size)
{
    // libFuzzer's inputs are a few kB; anything beyond int range is no input of ours.
    const size_t capped = size > size_t(INT32_MAX) ? size_t(INT32_MAX) : size;
    return QByteArray(reinterpret_cast<const char *>(data), int(capped));
}

void CFuzzEnvironmentFail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}
