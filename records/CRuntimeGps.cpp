#include "CRuntimeGps.h"

#include "CRecordStream.h"

namespace
{
template <typename T> void readValue(QDataStream &in, T &value)
{
    CRecordStream::read(in, value);
}

// A point keeps what it could read, field by field.
void readValue(QDataStream &in, CGpsPoint &point)
{
    point.read(in);
}

// One marked field of a merging read: the value counts only when its mark is set
// and it differs from the held one.
template <typename T, typename Differs> bool readMarked(QDataStream &in, T &held, Differs differs)
{
    bool marked = false;
    T value{};
    CRecordStream::read(in, marked);
    readValue(in, value);
    if (!marked || !differs(value, held))
        return false;
    held = value;
    return true;
}

template <typename T> bool readMarked(QDataStream &in, T &held)
{
    return readMarked(in, held, [](const T &a, const T &b) { return a != b; });
}
} // namespace

CRuntimeGps::CRuntimeGps()
    : version(CRecordStream::kRecordVersion), reserved(CRecordStream::reservedBlock()),
      m_text1(QLatin1String("")), m_value1(0), m_value2(0), m_text2(QLatin1String("")), m_marks{},
      m_changed(false)
{
}

void CRuntimeGps::mark(Mark which)
{
    m_marks[which] = true;
    m_changed = true;
}

void CRuntimeGps::setRuntimeGpsText1(const QString &value)
{
    m_text1 = value;
    mark(MarkText1);
}

void CRuntimeGps::setRuntimeGpsValue1(qint32 value)
{
    m_value1 = value;
    mark(MarkValue1);
}

void CRuntimeGps::setRuntimeGpsValue2(qint32 value)
{
    m_value2 = value;
    mark(MarkValue2);
}

void CRuntimeGps::setRuntimeGpsText2(const QString &value)
{
    m_text2 = value;
    mark(MarkText2);
}

void CRuntimeGps::setGpsPoint(const CGpsPoint &point)
{
    m_point = point;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setDateTime(const CDateTime &value)
{
    m_point.dateTime = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setLatitude(double value)
{
    m_point.latitude = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setLongitude(double value)
{
    m_point.longitude = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setAltitude(double value)
{
    m_point.altitude = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setStatus(qint32 value)
{
    m_point.status = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setTimeOffset(qint32 value)
{
    m_point.timeOffset = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setSatellites(qint32 value)
{
    m_point.satellites = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setHdop(double value)
{
    m_point.hdop = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setSpeed(double value)
{
    m_point.speed = value;
    mark(MarkGpsPoint);
}

void CRuntimeGps::setTrack(double value)
{
    m_point.track = value;
    mark(MarkGpsPoint);
}

QByteArray CRuntimeGps::serialize()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

CRecordStatus CRuntimeGps::parse(const QByteArray &bytes)
{
    CRecordStream in(bytes);
    return CRecordStream::finish(in, read(in));
}

CRecordStatus CRuntimeGps::read(QDataStream &in)
{
    CRecordStream::setRecordVersion(in);
    const CRecordStatus header = CRecordStream::readVersion(in);
    if (!header.ok())
        return header;
    CRecordStream::read(in, reserved);
    if (readMarked(in, m_text1))
        mark(MarkText1);
    if (readMarked(in, m_value1))
        mark(MarkValue1);
    if (readMarked(in, m_value2))
        mark(MarkValue2);
    if (readMarked(in, m_text2))
        mark(MarkText2);
    // A point differs when its streamed bytes differ, so that a NaN held here
    // counts as a difference to the 0.0 that was read.
    if (readMarked(in, m_point, [](const CGpsPoint &a, const CGpsPoint &b) {
            return CRecordStream::bytesOf(a) != CRecordStream::bytesOf(b);
        }))
        mark(MarkGpsPoint);
    return CRecordStream::status(in);
}

void CRuntimeGps::write(QDataStream &out) const
{
    CRecordStream::setRecordVersion(out);
    out << version << reserved;
    out << m_marks[MarkText1] << m_text1;
    out << m_marks[MarkValue1] << m_value1;
    out << m_marks[MarkValue2] << m_value2;
    out << m_marks[MarkText2] << m_text2;
    out << m_marks[MarkGpsPoint] << m_point;
}

bool CRuntimeGps::operator==(const CRuntimeGps &other) const
{
    return version == other.version && reserved == other.reserved && m_text1 == other.m_text1 &&
           m_value1 == other.m_value1 && m_value2 == other.m_value2 && m_text2 == other.m_text2 &&
           m_point == other.m_point && m_marks == other.m_marks && m_changed == other.m_changed;
}

QDataStream &operator<<(QDataStream &out, const CRuntimeGps &record)
{
    record.write(out);
    return out;
}

QDataStream &operator>>(QDataStream &in, CRuntimeGps &record)
{
    record.read(in);
    return in;
}
