#include "CLogFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{
class DiskFile : public CLogFileSystem::File
{
public:
    explicit DiskFile(const QString &name) : m_file(name) {}
    bool open() { return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text); }
    bool append(const QByteArray &bytes) override
    {
        m_file.write(bytes);
        return m_file.flush();
    }
    qint64 unwritten() const override { return m_file.bytesToWrite(); }

private:
    QFile m_file; // closes, with a last flush, when destroyed
};

class Disk : public CLogFileSystem
{
public:
    std::unique_ptr<File> openForAppend(const QString &name) override
    {
        std::unique_ptr<DiskFile> file(new DiskFile(name));
        if (!file->open())
            return nullptr;
        return file;
    }
    qint64 size(const QString &name) const override
    {
        const QFileInfo info(name);
        return info.exists() ? info.size() : -1;
    }
    QStringList fileNames(const QString &directory) const override
    {
        return QDir(directory).entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    void remove(const QString &name) override { QFile::remove(name); }
    void copy(const QString &from, const QString &to) override { QFile::copy(from, to); }
};
} // namespace

CLogFileSystem &CLogFileSystem::disk()
{
    // Never destroyed: Qt may still write messages while statics are torn down.
    static Disk *const instance = new Disk;
    return *instance;
}
