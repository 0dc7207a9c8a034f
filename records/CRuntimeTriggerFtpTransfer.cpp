#include "CRuntimeTriggerFtpTransfer.h"

#include "CRecordStream.h"

namespace
{
// One marked field of a merging read: true when the value was taken.
template <typename T> bool readMarked(QDataStream &in, T &held)
{
    bool marked = false;
    T value{};
    CRecordStream::read(in, marked);
    CRecordStream::read(in, value);
    if (!marked || value == held)
        return false;
    held = value;
    return true;
}
} // namespace

CRuntimeTriggerFtpTransfer::CRuntimeTriggerFtpTransfer()
    : version(CRecordStream::kRecordVersion), reserved(CRecordStream::reservedBlock()), m_flags{},
      m_text1(QLatin1String("")), m_text2(QLatin1String("")), m_time1(CDateTime::fromMSecsSinceEpoch(0)),
      m_time2(m_time1), m_text3(QLatin1String("")), m_marks{}, m_changed(false)
{
}

void CRuntimeTriggerFtpTransfer::mark(Field field)
{
    m_marks[field] = true;
    m_changed = true;
}

void CRuntimeTriggerFtpTransfer::setFlag(Field field, bool value)
{
    m_flags[field] = value;
    mark(field);
}

void CRuntimeTriggerFtpTransfer::resetAllMarked()
{
    for (int flag = FieldStartGpsFileTransfer; flag < kFlagCount; ++flag)
        setFlag(Field(flag), false);
    setTriggerText1(QLatin1String(""));
    setTriggerText2(QLatin1String(""));
    setTriggerText3(QLatin1String(""));
}

void CRuntimeTriggerFtpTransfer::setTriggerText1(const QString &value)
{
    m_text1 = value;
    mark(FieldTriggerText1);
}

void CRuntimeTriggerFtpTransfer::setTriggerText2(const QString &value)
{
    m_text2 = value;
    mark(FieldTriggerText2);
}

void CRuntimeTriggerFtpTransfer::setTriggerTime1(const CDateTime &value)
{
    m_time1 = value;
    mark(FieldTriggerTime1);
}

void CRuntimeTriggerFtpTransfer::setTriggerTime2(const CDateTime &value)
{
    m_time2 = value;
    mark(FieldTriggerTime2);
}

void CRuntimeTriggerFtpTransfer::setTriggerText3(const QString &value)
{
    m_text3 = value;
    mark(FieldTriggerText3);
}

QByteArray CRuntimeTriggerFtpTransfer::serialize()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

QByteArray CRuntimeTriggerFtpTransfer::serializeValues()
{
    CRecordStream out(&serializationBuffer);
    for (const bool flag : m_flags)
        out << flag;
    out << m_text1 << m_text2 << m_time1 << m_time2 << m_text3;
    return serializationBuffer;
}

CRecordStatus CRuntimeTriggerFtpTransfer::parse(const QByteArray &bytes)
{
    CRecordStream in(bytes);
    return CRecordStream::finish(in, read(in));
}

CRecordStatus CRuntimeTriggerFtpTransfer::read(QDataStream &in)
{
    CRecordStream::setRecordVersion(in);
    const CRecordStatus header = CRecordStream::readVersion(in);
    if (!header.ok())
        return header;
    CRecordStream::read(in, reserved);
    for (int field = FieldStartGpsFileTransfer; field < kFlagCount; ++field) {
        if (readMarked(in, m_flags[field]))
            mark(Field(field));
    }
    if (readMarked(in, m_text1))
        mark(FieldTriggerText1);
    if (readMarked(in, m_text2))
        mark(FieldTriggerText2);
    if (readMarked(in, m_time1))
        mark(FieldTriggerTime1);
    if (readMarked(in, m_time2))
        mark(FieldTriggerTime2);
    if (readMarked(in, m_text3))
        mark(FieldTriggerText3);
    return CRecordStream::status(in);
}

void CRuntimeTriggerFtpTransfer::write(QDataStream &out) const
{
    CRecordStream::setRecordVersion(out);
    out << version << reserved;
    for (int field = FieldStartGpsFileTransfer; field < kFlagCount; ++field)
        out << m_marks[field] << m_flags[field];
    out << m_marks[FieldTriggerText1] << m_text1;
    out << m_marks[FieldTriggerText2] << m_text2;
    out << m_marks[FieldTriggerTime1] << m_time1;
    out << m_marks[FieldTriggerTime2] << m_time2;
    out << m_marks[FieldTriggerText3] << m_text3;
}

bool CRuntimeTriggerFtpTransfer::operator==(const CRuntimeTriggerFtpTransfer &other) const
{
    return version == other.version && reserved == other.reserved && m_flags == other.m_flags &&
           m_text1 == other.m_text1 && m_text2 == other.m_text2 && m_time1 == other.m_time1 &&
           m_time2 == other.m_time2 && m_text3 == other.m_text3 && m_marks == other.m_marks &&
           m_changed == other.m_changed;
}

QDataStream &operator<<(QDataStream &out, const CRuntimeTriggerFtpTransfer &record)
{
    record.write(out);
    return out;
}

QDataStream &operator>>(QDataStream &in, CRuntimeTriggerFtpTransfer &record)
{
    record.read(in);
    return in;
}
