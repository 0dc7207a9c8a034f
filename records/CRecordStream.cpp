#include "CRecordStream.h"

#include <QIODevice>

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
