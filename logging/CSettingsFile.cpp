#include "CSettingsFile.h"

#include <QFile>

namespace
{
// Octal and hexadecimal escapes are the ones that can stand for any character.
bool isCharacterEscape(char next)
{
    return next == 'x' || next == 'X' || (next >= '0' && next <= '7');
}
} // namespace

QString CSettingsFile::refusal(const QString &path)
{
    QFile file(path);
    // Unbuffered: one read of the whole file, no buffer to copy it through.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QString();
    if (!file.isSequential() && file.size() > kMaxBytes)
        return QStringLiteral("larger than %1 bytes").arg(kMaxBytes);
    return refusal(file.read(qMin(file.isSequential() ? kMaxBytes : file.size(), kMaxBytes) + 1));
}

QString CSettingsFile::refusal(const QByteArray &bytes)
{
    if (bytes.size() > kMaxBytes)
        return QStringLiteral("larger than %1 bytes").arg(kMaxBytes);
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '@')
            return QStringLiteral("an \"@\" at offset %1 (a value QSettings would decode as binary data)")
                .arg(i);
        if (bytes.at(i) == '\\' && i + 1 < bytes.size() && isCharacterEscape(bytes.at(i + 1)))
            return QStringLiteral("a character escape at offset %1 (it could spell a value QSettings would "
                                  "decode as binary data)")
                .arg(i);
    }
    return QString();
}
