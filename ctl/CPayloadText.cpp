#include "CPayloadText.h"

#include "records/CDateTime.h"
#include "records/CGpsPoint.h"
#include "records/CRecordStream.h"

#include <QJsonValue>

namespace
{
constexpr int kCoordinateDecimals = 6;
constexpr int kValueDecimals = 1;
constexpr int kTrackDecimals = 2;
} // namespace

QString CPayloadText::dateTime(const CDateTime &value)
{
    if (!value.isValid())
        return QStringLiteral("-");
    QString text = value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    if (value.isUtc())
        text += QStringLiteral(" UTC");
    return text;
}

QString CPayloadText::gpsPoint(const CGpsPoint &point)
{
    return QStringLiteral("lat=%1 lon=%2 alt=%3m speed=%4km/h track=%5deg sats=%6 hdop=%7 status=%8 time=%9")
        .arg(point.latitude, 0, 'f', kCoordinateDecimals)
        .arg(point.longitude, 0, 'f', kCoordinateDecimals)
        .arg(point.altitude, 0, 'f', kValueDecimals)
        .arg(point.speed, 0, 'f', kValueDecimals)
        .arg(point.track, 0, 'f', kTrackDecimals)
        .arg(point.satellites)
        .arg(point.hdop, 0, 'f', kValueDecimals)
        .arg(point.status)
        .arg(dateTime(point.dateTime));
}

QJsonObject CPayloadText::gpsPointJson(const CGpsPoint &point)
{
    return QJsonObject{{QStringLiteral("lat"), point.latitude},
                       {QStringLiteral("lon"), point.longitude},
                       {QStringLiteral("alt"), point.altitude},
                       {QStringLiteral("speed"), point.speed},
                       {QStringLiteral("track"), point.track},
                       {QStringLiteral("sats"), point.satellites},
                       {QStringLiteral("hdop"), point.hdop},
                       {QStringLiteral("status"), point.status},
                       {QStringLiteral("timeOffset"), point.timeOffset},
                       {QStringLiteral("time"), dateTime(point.dateTime)}};
}

bool CPayloadText::decodeGpsPoint(const QByteArray &bytes, CGpsPoint *point)
{
    return point->assignFromBytes(bytes).ok();
}

bool CPayloadText::decodeDateTime(const QByteArray &bytes, CDateTime *value)
{
    CRecordStream in(bytes);
    CDateTime read;
    in >> read;
    if (!CRecordStream::status(in).ok() || !in.atEnd())
        return false;
    *value = read;
    return true;
}

bool CPayloadText::isPrintable(const QByteArray &value)
{
    for (const char c : value) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

QString CPayloadText::bytes(const QByteArray &value)
{
    if (!value.isEmpty() && isPrintable(value))
        return QString::fromLatin1(value);
    return QString::fromLatin1(value.toHex());
}
