#ifndef CSETUPGPSTRACKING_H
#define CSETUPGPSTRACKING_H

#include "CRecordStatus.h"

#include <QByteArray>
#include <QtGlobal>

class QDataStream;

// GPS tracking setup record: tracking mode and the values the modes use.
class CSetupGpsTracking
{
public:
    // Values of eTrackingStatus the daemon acts on; any other means no tracking.
    enum TrackingMode : qint32 { ByTime = 2, ByDistance = 3, BySpeedLevel = 4 };

    QByteArray serializationBuffer; // not streamed
    qint32 version;
    QByteArray reserved;
    qint32 eTrackingStatus;
    qint32 iExtra;     // carried and written back, not interpreted
    qint32 iInterval;  // seconds
    qint32 distance;   // metres
    qint32 SpeedLevel; // km/h

    CSetupGpsTracking();

    QByteArray serialize();
    CRecordStatus parse(const QByteArray &bytes);
    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;

    // Compares the streamed members; the serialisation buffer is no part of the value.
    bool operator==(const CSetupGpsTracking &other) const;
    bool operator!=(const CSetupGpsTracking &other) const { return !(*this == other); }
};

QDataStream &operator<<(QDataStream &out, const CSetupGpsTracking &record);
QDataStream &operator>>(QDataStream &in, CSetupGpsTracking &record);

#endif // CSETUPGPSTRACKING_H
