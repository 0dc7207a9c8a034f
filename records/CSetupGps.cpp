#include "CSetupGps.h"

#include "CRecordStream.h"

CSetupGps::CSetupGps()
    : version(CRecordStream::kRecordVersion), reserved(CRecordStream::reservedBlock()), iTimeSync(0),
      bGpsEnabled(true)
{
}

QByteArray CSetupGps::serialize()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

CRecordStatus CSetupGps::parse(const QByteArray &bytes)
{
    CRecordStream in(bytes);
    return CRecordStream::finish(in, read(in));
}

CRecordStatus CSetupGps::read(QDataStream &in)
{
    CRecordStream::setRecordVersion(in);
    const CRecordStatus header = CRecordStream::readVersion(in);
    if (!header.ok())
        return header;
    CRecordStream::read(in, reserved);
    CRecordStream::read(in, iTimeSync);
    CRecordStream::read(in, bGpsEnabled);
    return CRecordStream::status(in);
}

void CSetupGps::write(QDataStream &out) const
{
    CRecordStream::setRecordVersion(out);
    out << version << reserved << iTimeSync << bGpsEnabled;
}

bool CSetupGps::operator==(const CSetupGps &other) const
{
    return version == other.version && reserved == other.reserved && iTimeSync == other.iTimeSync &&
           bGpsEnabled == other.bGpsEnabled;
}

QDataStream &operator<<(QDataStream &out, const CSetupGps &record)
{
    record.write(out);
    return out;
}

QDataStream &operator>>(QDataStream &in, CSetupGps &record)
{
    record.read(in);
    return in;
}
