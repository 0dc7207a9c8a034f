#include "CRecordStream.h"

#include <QIODevice>
#include <QtEndian>

#include <limits>

CRecordStream::CRecordStream(const QByteArray &bytes) : QDataStream(bytes)
{
    setVersion(kStreamVersion);
}

CRecordStream::CRecordStream(QByteArray *buffer)
    : QDataStream(buffer, QIODevice::WriteOnly | QIODevice::Truncate)
{
    setVersion(kStreamVersion);
}

QByteArray CRecordStream::reservedBlock()
{
    return QByteArray(kReservedSize, '\0');
}

CRecordStatus CRecordStream::readVersion(QDataStream &in, qint32 minimum)
{
    qint32 version = 0;
    read(in, version);
    if (in.status() != QDataStream::Ok)
        return status(in);
    return version < minimum ? CRecordStatus::OldVersion : CRecordStatus::Ok;
}

CRecordStatus CRecordStream::status(const QDataStream &in)
{
    switch (in.status()) {
    case QDataStream::Ok:
        return CRecordStatus::Ok;
    case QDataStream::ReadCorruptData:
        return CRecordStatus::Corrupt;
    default:
        return CRecordStatus::Truncated;
    }
}

CRecordStatus CRecordStream::finish(const QDataStream &in, CRecordStatus readResult)
{
    if (readResult.ok() && in.status() != QDataStream::Ok)
        return status(in);
    if (readResult.ok() && !in.atEnd())
        return CRecordStatus::TrailingData;
    return readResult;
}

void CRecordStream::readCount(QDataStream &in, quint32 &count, quint32 minEntryBytes)
{
    count = 0;
    if (claimFits(in, Claim::Entries, minEntryBytes))
        read(in, count);
}

bool CRecordStream::claimFits(QDataStream &in, Claim claim, quint32 entryBytes)
{
    QIODevice *device = in.device();
    uchar raw[sizeof(quint32)];
    if (!device || device->peek(reinterpret_cast<char *>(raw), sizeof raw) != qint64(sizeof raw))
        return true; // Qt reports the short length field itself
    const quint32 claimed = in.byteOrder() == QDataStream::BigEndian ? qFromBigEndian<quint32>(raw)
                                                                     : qFromLittleEndian<quint32>(raw);
    quint64 needed = claimed;
    switch (claim) {
    case Claim::Bytes:
    case Claim::Utf16Bytes:
        // The null marker; an odd text length Qt finds corrupt before it allocates.
        if (claimed == 0xffffffffu || (claim == Claim::Utf16Bytes && (claimed & 1u)))
            return true;
        break;
    case Claim::Entries:
        needed = quint64(claimed) * entryBytes;
        break;
    }
    const qint64 left = device->bytesAvailable() - qint64(sizeof raw);
    if (needed <= quint64(left))
        return true;
    in.skipRawData(int(qMin<qint64>(device->bytesAvailable(), std::numeric_limits<int>::max())));
    in.setStatus(QDataStream::ReadPastEnd);
    return false;
}
