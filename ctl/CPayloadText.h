#ifndef CPAYLOADTEXT_H
#define CPAYLOADTEXT_H

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class CDateTime;
class CGpsPoint;

// Readable forms of the payloads that travel as byte arrays.
class CPayloadText
{
public:
    CPayloadText() = delete;

    // "2020-05-17 08:09:10.000" (plus " UTC" for UTC values); "-" when null.
    static QString dateTime(const CDateTime &value);
    static QString gpsPoint(const CGpsPoint &point);
    static QJsonObject gpsPointJson(const CGpsPoint &point);

    // Decodes a serialised GPS point; false when the bytes are not one.
    static bool decodeGpsPoint(const QByteArray &bytes, CGpsPoint *point);
    // Decodes one serialised date-time; false when the bytes are not one.
    static bool decodeDateTime(const QByteArray &bytes, CDateTime *value);

    // ASCII text when every byte is printable, otherwise hex.
    static QString bytes(const QByteArray &value);
    static bool isPrintable(const QByteArray &value);
};

#endif // CPAYLOADTEXT_H
