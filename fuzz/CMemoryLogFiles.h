#ifndef CMEMORYLOGFILES_H
#define CMEMORYLOGFILES_H

#include "logging/CLogFileSystem.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <memory>

// The message handler's log files in memory, with the disk's rules where the
// handler meets them: a removed file that is still open takes further
// writes without a name, a copy onto an existing name or from a missing one
// fails. Nothing is ever short of space. fuzz_settings writes its log here
// for most inputs, and compares the two where an input goes to the disk too.
class CMemoryLogFiles : public CLogFileSystem
{
public:
    std::unique_ptr<File> openForAppend(const QString &name) override;
    qint64 size(const QString &name) const override;
    QStringList fileNames(const QString &directory) const override;
    void remove(const QString &name) override;
    void copy(const QString &from, const QString &to) override;

    // The files that have a name, by name.
    QMap<QString, QByteArray> contents() const;
    void clear() { m_files.clear(); }

private:
    QMap<QString, std::shared_ptr<QByteArray>> m_files;
};

#endif // CMEMORYLOGFILES_H
