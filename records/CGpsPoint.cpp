#include "CGpsPoint.h"

#include "CRecordStream.h"

#include <cmath>
#include <utility>

namespace
{
CDateTime resetDateTime()
{
    return CDateTime::fromDate(QDate(1, 1, 1));
}

void zeroNaN(double &value)
{
    if (std::isnan(value))
        value = 0.0;
}
} // namespace

CGpsPoint::CGpsPoint()
{
    reset();
}

CGpsPoint::CGpsPoint(const QByteArray &bytes, CRecordStatus *status) : CGpsPoint()
{
    const CRecordStatus result = assignFromBytes(bytes);
    if (status)
        *status = result;
}

CGpsPoint::CGpsPoint(const CGpsPoint &other)
    : version(other.version), dateTime(other.dateTime), latitude(other.latitude), longitude(other.longitude),
      altitude(other.altitude), status(other.status), timeOffset(other.timeOffset),
      satellites(other.satellites), hdop(other.hdop), speed(other.speed), track(other.track),
      serializationBuffer(other.serializationBuffer)
{
    // A copy keeps NaN: the tracking decision must still see an HDOP the
    // receiver could not give. Only assignment, reading and building from
    // bytes replace it.
}

void CGpsPoint::swap(CGpsPoint &other) noexcept
{
    std::swap(version, other.version);
    std::swap(dateTime, other.dateTime);
    std::swap(latitude, other.latitude);
    std::swap(longitude, other.longitude);
    std::swap(altitude, other.altitude);
    std::swap(status, other.status);
    std::swap(timeOffset, other.timeOffset);
    std::swap(satellites, other.satellites);
    std::swap(hdop, other.hdop);
    std::swap(speed, other.speed);
    std::swap(track, other.track);
    serializationBuffer.swap(other.serializationBuffer);
}

CGpsPoint &CGpsPoint::operator=(const CGpsPoint &other)
{
    version = other.version;
    dateTime = other.dateTime;
    latitude = other.latitude;
    longitude = other.longitude;
    altitude = other.altitude;
    status = other.status;
    timeOffset = other.timeOffset;
    satellites = other.satellites;
    hdop = other.hdop;
    speed = other.speed;
    track = other.track;
    serializationBuffer = other.serializationBuffer;
    replaceNaN();
    return *this;
}

void CGpsPoint::reset()
{
    version = kVersion;
    dateTime = resetDateTime();
    latitude = 0.0;
    longitude = 0.0;
    altitude = 0.0;
    status = 0;
    timeOffset = 0;
    satellites = 0;
    hdop = 0.0;
    speed = 0.0;
    track = 0.0;
    serializationBuffer.clear();
}

CRecordStatus CGpsPoint::assignFromBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty()) {
        reset();
        return CRecordStatus::Truncated;
    }
    CRecordStream in(bytes);
    return CRecordStream::finish(in, read(in));
}

QByteArray CGpsPoint::toBytes()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

CRecordStatus CGpsPoint::read(QDataStream &in)
{
    CRecordStream::setRecordVersion(in);
    CRecordStream::read(in, version);
    CRecordStream::read(in, dateTime);
    CRecordStream::read(in, latitude);
    CRecordStream::read(in, longitude);
    CRecordStream::read(in, altitude);
    CRecordStream::read(in, status);
    CRecordStream::read(in, timeOffset);
    CRecordStream::read(in, satellites);
    CRecordStream::read(in, hdop);
    CRecordStream::read(in, speed);
    CRecordStream::read(in, track);
    replaceNaN();
    return CRecordStream::status(in);
}

void CGpsPoint::write(QDataStream &out) const
{
    CRecordStream::setRecordVersion(out);
    out << version << dateTime << latitude << longitude << altitude << status << timeOffset << satellites
        << hdop << speed << track;
}

void CGpsPoint::replaceNaN()
{
    zeroNaN(latitude);
    zeroNaN(longitude);
    zeroNaN(altitude);
    zeroNaN(hdop);
    zeroNaN(speed);
    zeroNaN(track);
}

bool CGpsPoint::operator==(const CGpsPoint &other) const
{
    return version == other.version && dateTime == other.dateTime && latitude == other.latitude &&
           longitude == other.longitude && altitude == other.altitude && status == other.status &&
           timeOffset == other.timeOffset && satellites == other.satellites && hdop == other.hdop &&
           speed == other.speed && track == other.track;
}

QDataStream &operator<<(QDataStream &out, const CGpsPoint &point)
{
    point.write(out);
    return out;
}

QDataStream &operator>>(QDataStream &in, CGpsPoint &point)
{
    point.read(in);
    return in;
}
