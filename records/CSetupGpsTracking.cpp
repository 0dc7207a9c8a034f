#include "CSetupGpsTracking.h"

#include "CRecordStream.h"

namespace
{
constexpr qint32 kDefaultIntervalSecs = 180;
constexpr qint32 kDefaultDistanceMetres = 100;
constexpr qint32 kDefaultSpeedLevelKmh = 5;
} // namespace

CSetupGpsTracking::CSetupGpsTracking()
    : version(CRecordStream::kRecordVersion), reserved(CRecordStream::reservedBlock()), eTrackingStatus(0),
      iExtra(0), iInterval(kDefaultIntervalSecs), distance(kDefaultDistanceMetres),
      SpeedLevel(kDefaultSpeedLevelKmh)
{
}

QByteArray CSetupGpsTracking::serialize()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

CRecordStatus CSetupGpsTracking::parse(const QByteArray &bytes)
{
    CRecordStream in(bytes);
    return CRecordStream::finish(in, read(in));
}

CRecordStatus CSetupGpsTracking::read(QDataStream &in)
{
    CRecordStream::setRecordVersion(in);
    const CRecordStatus header = CRecordStream::readVersion(in);
    if (!header.ok())
        return header;
    CRecordStream::read(in, reserved);
    CRecordStream::read(in, eTrackingStatus);
    CRecordStream::read(in, iExtra);
    CRecordStream::read(in, iInterval);
    CRecordStream::read(in, distance);
    CRecordStream::read(in, SpeedLevel);
    return CRecordStream::status(in);
}

void CSetupGpsTracking::write(QDataStream &out) const
{
    CRecordStream::setRecordVersion(out);
    out << version << reserved << eTrackingStatus << iExtra << iInterval << distance << SpeedLevel;
}

bool CSetupGpsTracking::operator==(const CSetupGpsTracking &other) const
{
    return version == other.version && reserved == other.reserved &&
           eTrackingStatus == other.eTrackingStatus && iExtra == other.iExtra &&
           iInterval == other.iInterval && distance == other.distance && SpeedLevel == other.SpeedLevel;
}

QDataStream &operator<<(QDataStream &out, const CSetupGpsTracking &record)
{
    record.write(out);
    return out;
}

QDataStream &operator>>(QDataStream &in, CSetupGpsTracking &record)
{
    record.read(in);
    return in;
}
