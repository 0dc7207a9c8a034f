#ifndef CRECORDSTREAM_H
#define CRECORDSTREAM_H

#include "CDateTime.h"
#include "CRecordStatus.h"

#include <QByteArray>
#include <QDataStream>
#include <QString>

// The data stream every record and logbook entry travels in: format version 12
// (what the fleet's Qt 4.6-4.8 readers use), big-endian, nothing else changed.
// Streams are opened only here so that no record can forget the version.
class CRecordStream : public QDataStream
{
public:
    static constexpr int kStreamVersion = 12;
    // Record format version; readers stop after a lower one.
    static constexpr qint32 kRecordVersion = 256;
    static constexpr int kReservedSize = 32;

    // Read-only stream on a copy of the bytes.
    explicit CRecordStream(const QByteArray &bytes);
    // Write-only stream on the buffer, which is emptied first so that the
    // buffer holds exactly the record afterwards.
    explicit CRecordStream(QByteArray *buffer);

    static void setRecordVersion(QDataStream &stream) { stream.setVersion(kStreamVersion); }
    // 32 zero bytes.
    static QByteArray reservedBlock();

    // Reads the version into a temporary: Ok when the rest of the record
    // follows, OldVersion when it is below the minimum, Truncated when the
    // stream could not even deliver the version.
    static CRecordStatus readVersion(QDataStream &in, qint32 minimum = kRecordVersion);
    // Ok, or what went wrong in the stream so far.
    static CRecordStatus status(const QDataStream &in);
    // Result of a whole parse: the reader's result, or TrailingData when a
    // complete record left bytes behind.
    static CRecordStatus finish(const QDataStream &in, CRecordStatus readResult);

    // Reads one value. A failed read leaves the value the fleet's readers
    // leave (0, false, empty text, empty array), whatever Qt version reads.
    // A text or byte array longer than the bytes left is a short read at once.
    template <typename T> static void read(QDataStream &in, T &value)
    {
        T tmp{};
        if (fits(in, tmp))
            in >> tmp;
        if (in.status() == QDataStream::Ok)
            value = tmp;
        else
            setFailedValue(value);
    }

    // Reads the entry count of a table whose entries take at least
    // minEntryBytes each; a count the bytes left cannot hold is a short read.
    static void readCount(QDataStream &in, quint32 &count, quint32 minEntryBytes);

    // The streamed bytes of a value, without touching any record buffer.
    template <typename T> static QByteArray bytesOf(const T &value)
    {
        QByteArray bytes;
        CRecordStream out(&bytes);
        out << value;
        return bytes;
    }

private:
    enum class Claim { Bytes, Utf16Bytes, Entries };
    // Whether the 32-bit length at the stream's position claims no more than
    // the bytes after it. Qt believes the claim and allocates up to a megabyte
    // at a time before it finds the end of the input; a claim that cannot fit
    // ends the read here instead: the rest is skipped and the stream is at
    // ReadPastEnd, as after Qt's own failed read of it.
    static bool claimFits(QDataStream &in, Claim claim, quint32 entryBytes = 1);
    template <typename T> static bool fits(QDataStream &, const T &) { return true; }
    static bool fits(QDataStream &in, const QString &) { return claimFits(in, Claim::Utf16Bytes); }
    static bool fits(QDataStream &in, const QByteArray &) { return claimFits(in, Claim::Bytes); }

    template <typename T> static void setFailedValue(T &value) { value = T(); }
    static void setFailedValue(QString &value) { value = QLatin1String(""); }
    static void setFailedValue(QByteArray &value) { value = QByteArray(""); }
    static void setFailedValue(CDateTime &value) { value = CDateTime::fromRaw(0, 0, 0); }
};

#endif // CRECORDSTREAM_H
