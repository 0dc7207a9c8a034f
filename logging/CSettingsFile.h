#ifndef CSETTINGSFILE_H
#define CSETTINGSFILE_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Checks a settings file before QSettings reads it. QSettings decodes a
// value that starts with "@Variant(" from binary data and believes every
// length and count in it: a line of text in the file can make it allocate
// gigabytes, and it decodes every value on load, read or not. The system's
// own settings hold numbers and plain texts only, so a file that could
// spell such a value (an "@", or a backslash escape that could stand for
// one) is no settings file of ours, nor is one beyond kMaxBytes.
class CSettingsFile
{
public:
    // The system's settings files are a few hundred bytes.
    static constexpr qint64 kMaxBytes = 64 * 1024;

    // Empty when QSettings may read the file, or when it cannot be opened
    // (QSettings reads that as an empty file); otherwise why it may not.
    static QString refusal(const QString &path);
    // The same for the file's bytes (the fuzz target has them already).
    static QString refusal(const QByteArray &bytes);
};

#endif // CSETTINGSFILE_H
