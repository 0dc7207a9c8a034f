#ifndef CSETUPGPS_H
#define CSETUPGPS_H

#include "CRecordStatus.h"

#include <QByteArray>
#include <QtGlobal>

class QDataStream;

// GPS setup record: switches GPS polling and the GPS time check.
class CSetupGps
{
public:
    QByteArray serializationBuffer; // not streamed
    qint32 version;
    QByteArray reserved;
    qint32 iTimeSync; // non-zero: compare GPS time with the system time
    bool bGpsEnabled; // poll gpsd and publish GPS data

    CSetupGps();

    QByteArray serialize();
    CRecordStatus parse(const QByteArray &bytes);
    // Reads the fields in stream order; the stream status tells about a short stream.
    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;

    // Compares the streamed members; the serialisation buffer is no part of the value.
    bool operator==(const CSetupGps &other) const;
    bool operator!=(const CSetupGps &other) const { return !(*this == other); }
};

QDataStream &operator<<(QDataStream &out, const CSetupGps &record);
QDataStream &operator>>(QDataStream &in, CSetupGps &record);

#endif // CSETUPGPS_H
