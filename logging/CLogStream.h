#ifndef CLOGSTREAM_H
#define CLOGSTREAM_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class CDateTime;
class QDateTime;

// Composes one log message item by item the way the fleet's log readers know
// it: every item is followed by one blank, also the last one, and string
// values are quoted but not escaped. The finished text goes straight to the
// installed message handler when the stream is destroyed.
//
//   CLogStream(QtDebugMsg, "cgpsprog", 1681) << "Start Gps timer";
//   -> "File: cgpsprog Line:  1681 :  Start Gps timer "
class CLogStream
{
public:
    struct EndLine {
    };

    struct NoColon {
    };

    // Message with the "File: <source> Line: <n> : " prefix.
    CLogStream(QtMsgType type, const char *source, int line);
    // The same prefix without the ": " item, for messages whose own text
    // starts with the colon.
    CLogStream(QtMsgType type, const char *source, int line, NoColon);
    // Message without source and line prefix.
    explicit CLogStream(QtMsgType type);
    ~CLogStream();

    CLogStream(const CLogStream &) = delete;
    CLogStream &operator=(const CLogStream &) = delete;

    CLogStream &operator<<(const char *literal);
    CLogStream &operator<<(const QString &value);
    CLogStream &operator<<(const QByteArray &value);
    CLogStream &operator<<(int value);
    CLogStream &operator<<(unsigned int value);
    CLogStream &operator<<(long value);
    CLogStream &operator<<(unsigned long value);
    CLogStream &operator<<(long long value);
    CLogStream &operator<<(unsigned long long value);
    CLogStream &operator<<(double value);
    CLogStream &operator<<(bool value);
    CLogStream &operator<<(const QDateTime &value);
    CLogStream &operator<<(const CDateTime &value);
    // Line break inside the message; no blank follows it.
    CLogStream &operator<<(EndLine);

    // The message text composed so far.
    QString text() const { return m_text; }

    // Text of a number as the log streams write it (six significant digits).
    static QString numberText(double value);

private:
    void item(const QString &raw);

    QtMsgType m_type;
    QString m_text;
};

// Stream item: end of line.
constexpr CLogStream::EndLine logEndl{};

#endif // CLOGSTREAM_H
