#ifndef CRUNTIMEGPS_H
#define CRUNTIMEGPS_H

#include "CGpsPoint.h"
#include "CRecordStatus.h"

#include <QByteArray>
#include <QString>
#include <array>

class QDataStream;

// Runtime GPS record: the published GPS state. Every field travels behind a
// change mark that tells the receiver the sender has set it; the setters mark
// even an unchanged value, and nothing clears a mark.
class CRuntimeGps
{
public:
    enum Mark { MarkText1, MarkValue1, MarkValue2, MarkText2, MarkGpsPoint, MarkCount };

    QByteArray serializationBuffer; // not streamed
    qint32 version;
    QByteArray reserved;

    CRuntimeGps();

    QString RuntimeGpsText1() const { return m_text1; }
    qint32 RuntimeGpsValue1() const { return m_value1; }
    qint32 RuntimeGpsValue2() const { return m_value2; }
    QString RuntimeGpsText2() const { return m_text2; }
    const CGpsPoint &gpsPoint() const { return m_point; }
    CDateTime dateTime() const { return m_point.dateTime; }
    double latitude() const { return m_point.latitude; }
    double longitude() const { return m_point.longitude; }
    double altitude() const { return m_point.altitude; }
    qint32 status() const { return m_point.status; }
    qint32 timeOffset() const { return m_point.timeOffset; }
    qint32 satellites() const { return m_point.satellites; }
    double hdop() const { return m_point.hdop; }
    double speed() const { return m_point.speed; }
    double track() const { return m_point.track; }

    void setRuntimeGpsText1(const QString &value);
    void setRuntimeGpsValue1(qint32 value);
    void setRuntimeGpsValue2(qint32 value);
    void setRuntimeGpsText2(const QString &value);
    void setGpsPoint(const CGpsPoint &point);
    void setDateTime(const CDateTime &value);
    void setLatitude(double value);
    void setLongitude(double value);
    void setAltitude(double value);
    void setStatus(qint32 value);
    void setTimeOffset(qint32 value);
    void setSatellites(qint32 value);
    void setHdop(double value);
    void setSpeed(double value);
    void setTrack(double value);

    bool isMarked(Mark mark) const { return m_marks[mark]; }
    // The record change mark: some field was set. Never streamed.
    bool isChanged() const { return m_changed; }

    QByteArray serialize();
    // Merging read: takes only marked values that differ from the held ones.
    CRecordStatus parse(const QByteArray &bytes);
    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;

    // Compares values and marks; the serialisation buffer is no part of the value.
    bool operator==(const CRuntimeGps &other) const;
    bool operator!=(const CRuntimeGps &other) const { return !(*this == other); }

private:
    void mark(Mark which);

    QString m_text1;
    qint32 m_value1;
    qint32 m_value2;
    QString m_text2;
    CGpsPoint m_point;
    std::array<bool, MarkCount> m_marks;
    bool m_changed;
};

QDataStream &operator<<(QDataStream &out, const CRuntimeGps &record);
QDataStream &operator>>(QDataStream &in, CRuntimeGps &record);

#endif // CRUNTIMEGPS_H
