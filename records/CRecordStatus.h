#ifndef CRECORDSTATUS_H
#define CRECORDSTATUS_H

// Outcome of reading a record or logbook entry from bytes. The readers never
// log: the caller decides whether a short or old record is worth a message.
class CRecordStatus
{
public:
    enum Code {
        Ok,           // the whole input was one complete record
        OldVersion,   // version below the supported one; the record was left unchanged
        Truncated,    // the input ended early; unread fields hold the failed-read values
        TrailingData, // a complete record was read, but bytes were left over after it
        Corrupt,      // the stream held an impossible value (a string of odd byte length)
    };

    CRecordStatus(Code code = Ok) : m_code(code) {}

    Code code() const { return m_code; }
    bool ok() const { return m_code == Ok; }
    const char *name() const;

    bool operator==(const CRecordStatus &other) const { return m_code == other.m_code; }
    bool operator!=(const CRecordStatus &other) const { return m_code != other.m_code; }

private:
    Code m_code;
};

#endif // CRECORDSTATUS_H
