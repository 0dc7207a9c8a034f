#ifndef RECORDBYTES_H
#define RECORDBYTES_H

// The tests' one vocabulary for record bytes: golden bytes as hex, the
// record header, offsets in a GPS point, and setup records built by hand
// (not through the product's classes, so a layout fault there shows).

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QtGlobal>
#include <ctime>

// Golden bytes as hex; blanks are only for reading.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}
inline QByteArray rep(const char *text, int count)
{
    return hex(text).repeated(count);
}
// Version 256 (or the given one) and a reserved block of 32 zero bytes.
inline QByteArray header(const char *version = "00000100")
{
    return hex(version) + hex("00000020") + rep("00", 32);
}
// The reset GPS point: version 256, 0001-01-01 00:00 local (Julian day 1721424, time-spec FF), zeros.
inline const QByteArray kResetPoint = hex("00000100 001A4450 00000000 FF") + rep("00", 60);
// Epoch 0 in UTC as local time: Julian day 2440588, 0 ms, standard time.
inline const QByteArray kEpochUtc = hex("00253D8C 00000000 00");
// Offsets in the 73-byte GPS point: version, date-time (9), lat, lon, alt,
// status, time offset, satellites, hdop, speed, track.
enum PointOffset {
    kPointDateTime = 4,
    kPointLat = 13,
    kPointStatus = 37,
    kPointSatellites = 45,
    kPointSpeed = 57
};

// Setup records as another process writes them: the header, then the fields.
template <typename... Fields> QByteArray setupRecord(Fields... fields)
{
    QByteArray out = header();
    QDataStream stream(&out, QIODevice::Append);
    (stream << ... << fields);
    return out;
}
inline QByteArray gpsSetup(qint32 timeSync, bool enabled)
{
    return setupRecord(timeSync, enabled);
}
inline QByteArray trackingSetup(qint32 status, qint32 intervalSec, qint32 distanceM, qint32 speedLevelKmh)
{
    return setupRecord(status, qint32(0), intervalSec, distanceM, speedLevelKmh);
}

inline void setZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

#endif // RECORDBYTES_H
