#include "CMemoryLogFiles.h"

#include <QFileInfo>

#include <utility>

namespace
{
class MemoryFile : public CLogFileSystem::File
{
public:
    explicit MemoryFile(std::shared_ptr<QByteArray> bytes) : m_bytes(std::move(bytes)) {}
    bool append(const QByteArray &bytes) override
    {
        m_bytes->append(bytes);
        return true;
    }
    qint64 unwritten() const override { return 0; }

private:
    std::shared_ptr<QByteArray> m_bytes; // shared with the name, if it still has one
};
} // namespace

std::unique_ptr<CLogFileSystem::File> CMemoryLogFiles::openForAppend(const QString &name)
{
    std::shared_ptr<QByteArray> &bytes = m_files[name];
    if (!bytes)
        bytes = std::make_shared<QByteArray>();
    return std::unique_ptr<File>(new MemoryFile(bytes));
}

qint64 CMemoryLogFiles::size(const QString &name) const
{
    const auto it = m_files.constFind(name);
    return it == m_files.cend() ? -1 : qint64(it.value()->size());
}

QStringList CMemoryLogFiles::fileNames(const QString &directory) const
{
    QStringList names;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        const QFileInfo info(it.key());
        if (info.absolutePath() == directory)
            names << info.fileName();
    }
    return names;
}

void CMemoryLogFiles::remove(const QString &name)
{
    m_files.remove(name);
}

void CMemoryLogFiles::copy(const QString &from, const QString &to)
{
    const auto source = m_files.constFind(from);
    if (source == m_files.cend() || m_files.contains(to))
        return;
    m_files.insert(to, std::make_shared<QByteArray>(*source.value()));
}

QMap<QString, QByteArray> CMemoryLogFiles::contents() const
{
    QMap<QString, QByteArray> out;
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        out.insert(it.key(), *it.value());
    return out;
}
