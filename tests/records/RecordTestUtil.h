#ifndef RECORDTESTUTIL_H
#define RECORDTESTUTIL_H

#include <QByteArray>
#include <QtGlobal>
#include <ctime>

// Golden bytes are written by hand as hex; blanks are only for reading.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

inline QByteArray rep(const char *text, int count)
{
    return hex(text).repeated(count);
}

// Version 256 and a reserved block of 32 zero bytes.
inline QByteArray header(const char *version = "00000100")
{
    return hex(version) + hex("00000020") + rep("00", 32);
}

// The reset GPS point: version 256, 0001-01-01 00:00 local (Julian day
// 1721424, spec byte FF), then zeros.
inline QByteArray resetPoint()
{
    return hex("00000100 001A4450 00000000 FF") + rep("00", 24) + rep("00", 12) + rep("00", 24);
}

// Epoch 0 as local time in UTC: 1970-01-01 (Julian day 2440588), 0 ms, standard time.
inline QByteArray epochUtc()
{
    return hex("00253D8C 00000000 00");
}

inline void setZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

#endif // RECORDTESTUTIL_H
