#ifndef RECORDTESTUTIL_H
#define RECORDTESTUTIL_H

#include <QByteArray>
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

inline void setZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

#endif // RECORDTESTUTIL_H
