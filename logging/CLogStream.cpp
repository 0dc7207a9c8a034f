#include "CLogStream.h"

#include "../records/CDateTime.h"

#include <QDateTime>
#include <QMessageLogContext>

CLogStream::CLogStream(QtMsgType type, const char *source, int line) : CLogStream(type, source, line, NoColon{})
{
    *this << ": ";
}

CLogStream::CLogStream(QtMsgType type, const char *source, int line, NoColon) : m_type(type)
{
    m_text += QLatin1String("File: ");
    m_text += QString::fromUtf8(source);
    *this << " Line: " << line;
}

CLogStream::CLogStream(QtMsgType type) : m_type(type) {}

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
    item(QString::fromUtf8(literal ? literal : "(null)"));
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
    item(QString::number(value));
    return *this;
}

CLogStream &CLogStream::operator<<(unsigned int value)
{
    item(QString::number(value));
    return *this;
}

CLogStream &CLogStream::operator<<(long value)
{
    item(QString::number(value));
    return *this;
}

CLogStream &CLogStream::operator<<(unsigned long value)
{
    item(QString::number(value));
    return *this;
}

CLogStream &CLogStream::operator<<(long long value)
{
    item(QString::number(value));
    return *this;
}

CLogStream &CLogStream::operator<<(unsigned long long value)
{
    item(QString::number(value));
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
