#ifndef CSETUPGENERALNONWM_H
#define CSETUPGENERALNONWM_H

#include "CRecordStatus.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <variant>
#include <vector>

class QDataStream;

// General setup record: the truck-wide settings every process shares. The
// daemon needs only the time zone and the daylight-saving switch, but they lie
// in the middle of the stream, so the whole layout is known here. The fields
// are kept by number after a static layout table rather than as 136 members.
//
// Field numbers count from 1 for the reserved block, as the stream does. The
// fields 11 and 32 are one boolean: the writer repeats it, the reader takes
// the later place.
class CSetupGeneralNonWM
{
public:
    enum class FieldType { ByteArray, Int32, Int64, Bool, Double, String };
    using Value = std::variant<QByteArray, qint32, qint64, bool, double, QString>;

    static constexpr int kFieldCount = 136;
    static constexpr int kReservedField = 1;
    static constexpr int kSharedFieldFirst = 11;
    static constexpr int kSharedFieldSecond = 32;
    static constexpr int kTimeZoneField = 72;
    static constexpr int kDaylightSavingField = 73;

    QByteArray serializationBuffer; // not streamed
    qint32 version;

    CSetupGeneralNonWM();

    // Value for the TZ environment variable, such as "Europe/Berlin".
    QString timeZone() const;
    void setTimeZone(const QString &zone);
    // true: wall-clock time follows the zone's daylight saving time.
    bool daylightSaving() const;
    void setDaylightSaving(bool on);

    // Access by field number (1..136) for tools and tests. field() gives an
    // invalid variant for numbers out of range; setField() refuses those and
    // values that do not convert to the field's type.
    static FieldType fieldType(int field);
    QVariant field(int field) const;
    bool setField(int field, const QVariant &value);

    QByteArray serialize();
    CRecordStatus parse(const QByteArray &bytes);
    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;

    // Compares version and fields; the serialisation buffer is no part of the value.
    bool operator==(const CSetupGeneralNonWM &other) const;
    bool operator!=(const CSetupGeneralNonWM &other) const { return !(*this == other); }

private:
    static bool inRange(int field) { return field >= 1 && field <= kFieldCount; }
    static int slot(int field);
    static const std::vector<Value> &constructionValues();

    std::vector<Value> m_values; // one per slot; the shared boolean has one
};

QDataStream &operator<<(QDataStream &out, const CSetupGeneralNonWM &record);
QDataStream &operator>>(QDataStream &in, CSetupGeneralNonWM &record);

#endif // CSETUPGENERALNONWM_H
