#ifndef CLOGGPS_H
#define CLOGGPS_H

#include "CLogBase.h"
#include "records/CGpsPoint.h"

#include <QStringList>

// Logbook entry of a GPS event (enabled, disabled, valid data, no data).
class CLogGps : public CLogBase
{
public:
    static constexpr qint32 kOwnVersion = 256;

    QByteArray serializationBuffer; // not streamed
    qint32 ownVersion;
    QByteArray reserved;
    CGpsPoint oGpsPoint;
    bool bNewEntry; // not streamed; false once read from bytes

    CLogGps();
    // Base type 0 until the stream says otherwise.
    explicit CLogGps(const QByteArray &bytes, CRecordStatus *status = nullptr);
    CLogGps(const CLogGps &) = default;
    CLogGps &operator=(const CLogGps &) = default;
    ~CLogGps() override;

    QByteArray serialize();
    CRecordStatus parse(const QByteArray &bytes);
    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;

    // Export line of a track point (one text); other subtypes give one empty
    // text and a debug message. iTimeOffsetSecs is added to the time stamp.
    QStringList exportTextLine(qint32 iTimeOffsetSecs) const;

    // Key "logbook_<subtype>" ("logbook_11000_A" for track points); levels
    // 55 for track points, GPS on and data back, 67 for GPS off and data
    // lost; a track point carries its time, latitude and longitude as values.
    CLogDisplayRecord render(const QVariantMap &translationMap) const override;

    // Display values of a point; the screen translates the part up to the
    // number: "i18n_datetime_2020/05/17 08:09:10", "i18n_gps_lat_logbook_48.500000".
    static QString dateTimeValue(const CDateTime &dateTime);
    static QString latitudeValue(double latitude);
    static QString longitudeValue(double longitude);
};

#endif // CLOGGPS_H
