#ifndef CLOGFILESYSTEM_H
#define CLOGFILESYSTEM_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

// The file operations of the message handler's log file and its rotation.
// The daemon's are the disk's (disk()); the fuzz target keeps the files in
// memory, so that its inputs exercise the sink's rotation without a dozen
// system calls each.
class CLogFileSystem
{
public:
    // A log file open for appending. Closing it (destroying it) tries once
    // more to write what is waiting and then drops it.
    class File
    {
    public:
        virtual ~File() = default;
        // Appends bytes; false when some could not be written yet (disk full,
        // I/O error): they wait in the buffer for the next try.
        virtual bool append(const QByteArray &bytes) = 0;
        // Bytes waiting in the buffer.
        virtual qint64 unwritten() const = 0;
    };

    virtual ~CLogFileSystem() = default;

    // The machine's files, through QFile. Lives for the whole process.
    static CLogFileSystem &disk();

    // Null when the file cannot be opened (or created).
    virtual std::unique_ptr<File> openForAppend(const QString &name) = 0;
    // The file's size, or -1 when there is none by that name.
    virtual qint64 size(const QString &name) const = 0;
    // Names of the files (hidden and system ones too) in the directory.
    virtual QStringList fileNames(const QString &directory) const = 0;
    // Both fail silently: a copy onto an existing name, a missing file.
    virtual void remove(const QString &name) = 0;
    virtual void copy(const QString &from, const QString &to) = 0;
};

#endif // CLOGFILESYSTEM_H
