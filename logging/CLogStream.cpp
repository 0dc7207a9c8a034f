#include "CLogStream.h"

#include "../records/CDateTime.h"

#include <QDateTime>
#include <QMessageLogContext>

#include <charconv>
#include <iterator>

namespace
{
// Room for most messages at once, instead of a reallocation per item.
constexpr int kTypicalLength = 160;

// UTF-8 text appended without a temporary string when it is plain ASCII,
// as nearly every literal of the system is.
void appendUtf8(QString &to, const char *text)
{
    const char *end = text;
    while (*end != '\0' && static_cast<unsigned char>(*end) < 0x80)
        ++end;
    if (*end == '\0')
        to += QLatin1String(text, int(end - text));
    else
        to += QString::fromUtf8(text);
}

// Decimal digits as QString::number writes them, without a temporary string.
template <typename T> void appendNumber(QString &to, T value)
{
    char digits[24];
    const std::to_chars_result r = std::to_chars(std::begin(digits), std::end(digits), value);
    to += QLatin1String(digits, int(r.ptr - digits));
}
} // namespace

CLogStream::CLogStream(QtMsgType type, const char *source, int line)
    : CLogStream(type, source, line, NoColon{})
{
    *this << ": ";
}

CLogStream::CLogStream(QtMsgType type, const char *source, int line, NoColon) : m_type(type)
{
    m_text.reserve(kTypicalLength);
    m_text += QLatin1String("File: ");
    appendUtf8(m_text, source);
    *this << " Line: " << line;
}

CLogStream::CLogStream(QtMsgType type) : m_type(type)
{
    m_text.reserve(kTypicalLength);
}

CLogStream::~CLogStream()
{
    // Straight to the handler: the category filter of QMessageLogger must
    // not decide what the daemon's own sinks see.
    qt_message_output(m_type, QMessageLogContext(), m_text);
}

void CLogStream::item(const QString &raw)
{
    m_text += raw;
    m_text += QLatin1Char(' ');
}

CLogStream &CLogStream::operator<<(const char *literal)
{
    appendUtf8(m_text, literal ? literal : "(null)");
    m_text += QLatin1Char(' ');
    return *this;
}

CLogStream &CLogStream::operator<<(const QString &value)
{
    // Quoted, and written as it is: no escaping of quotes or line breaks.
    item(QLatin1Char('"') + value + QLatin1Char('"'));
    return *this;
}

CLogStream &CLogStream::operator<<(const QByteArray &value)
{
    item(QLatin1Char('"') + QString::fromUtf8(value) + QLatin1Char('"'));
    return *this;
}

CLogStream &CLogStream::operator<<(int value)
{
    appendNumber(m_text, value);
    m_text += QLatin1Char(' ');
    return *this;
}

CLogStream &CLogStream::operator<<(unsigned int value)
{
    appendNumber(m_text, value);
    m_text += QLatin1Char(' ');
    return *this;
}

CLogStream &CLogStream::operator<<(long value)
{
    appendNumber(m_text, value);
    m_text += QLatin1Char(' ');
    return *this;
}

CLogStream &CLogStream::operator<<(unsigned long value)
{
    appendNumber(m_text, value);
    m_text += QLatin1Char(' ');
    return *this;
}

CLogStream &CLogStream::operator<<(long long value)
{
    appendNumber(m_text, value);
    m_text += QLatin1Char(' ');
    return *this;
}

CLogStream &CLogStream::operator<<(unsigned long long value)
{
    appendNumber(m_text, value);
    m_text += QLatin1Char(' ');
    return *this;
}

QString CLogStream::numberText(double value)
{
    // What a text stream writes by default (six significant digits, "%g"-like,
    // "inf" and "nan"), without building one per number.
    return QString::number(value, 'g', 6);
}

CLogStream &CLogStream::operator<<(double value)
{
    item(numberText(value));
    return *this;
}

CLogStream &CLogStream::operator<<(bool value)
{
    item(value ? QStringLiteral("true") : QStringLiteral("false"));
    return *this;
}

CLogStream &CLogStream::operator<<(const QDateTime &value)
{
    return *this << CDateTime::fromDateTime(value.date(), value.time());
}

CLogStream &CLogStream::operator<<(const CDateTime &value)
{
    item(QStringLiteral("QDateTime(\"%1\")").arg(value.toTextDate()));
    return *this;
}

CLogStream &CLogStream::operator<<(EndLine)
{
    m_text += QLatin1Char('\n');
    return *this;
}
