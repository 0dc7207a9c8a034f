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
};

#endif // CLOGGPS_H
