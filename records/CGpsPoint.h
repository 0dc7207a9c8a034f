#ifndef CGPSPOINT_H
#define CGPSPOINT_H

#include "CDateTime.h"
#include "CRecordStatus.h"

#include <QByteArray>
#include <QtGlobal>

class QDataStream;

// One GPS fix. Sent alone with the actual-GPS-data signal and embedded in the
// runtime GPS record and in the logbook entries. No double of a point that was
// read, assigned or built from bytes is NaN: the readers on the fleet would
// show NaN as text, so it becomes 0.0. A copy keeps NaN.
class CGpsPoint
{
public:
    static constexpr qint32 kVersion = 256;
    static constexpr int kStreamSize = 73;

    qint32 version;
    CDateTime dateTime;
    double latitude;   // degrees
    double longitude;  // degrees
    double altitude;   // metres
    qint32 status;     // GPS connection state when published: 1 data flowing, 0 not
    qint32 timeOffset; // seconds: zone time minus system time
    qint32 satellites;
    double hdop;
    double speed;                   // km/h
    double track;                   // degrees
    QByteArray serializationBuffer; // not streamed

    CGpsPoint();
    // Empty bytes give the reset point.
    explicit CGpsPoint(const QByteArray &bytes, CRecordStatus *status = nullptr);
    CGpsPoint(const CGpsPoint &other);            // keeps NaN
    CGpsPoint &operator=(const CGpsPoint &other); // replaces NaN
    // Exchanges the values exactly, NaN included.
    void swap(CGpsPoint &other) noexcept;

    void reset();
    // Empty bytes reset the point (reported as Truncated: they held no point).
    CRecordStatus assignFromBytes(const QByteArray &bytes);
    CRecordStatus parse(const QByteArray &bytes) { return assignFromBytes(bytes); }
    QByteArray toBytes();
    QByteArray serialize() { return toBytes(); }

    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;
    void replaceNaN();

    // Compares the streamed fields; the serialisation buffer is no part of the value.
    bool operator==(const CGpsPoint &other) const;
    bool operator!=(const CGpsPoint &other) const { return !(*this == other); }
};

QDataStream &operator<<(QDataStream &out, const CGpsPoint &point);
QDataStream &operator>>(QDataStream &in, CGpsPoint &point);

#endif // CGPSPOINT_H
