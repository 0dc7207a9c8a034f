#ifndef CRUNTIMEGENERALNONWM_H
#define CRUNTIMEGENERALNONWM_H

#include "CDateTime.h"
#include "CRecordStatus.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>
#include <variant>
#include <vector>

class QDataStream;

// General runtime record: truck-wide runtime values from several processes,
// among them the software version of each module. Each of the 31 items
// travels behind its change mark. Items are kept by number (1..31) after a
// static layout table; only the texts, the date-time and the version table
// have setters, the numbers travel with their construction values.
class CRuntimeGeneralNonWM
{
public:
    enum class ItemType { Int32, Bool, String, DateTime, Hash };
    using Hash = QHash<QString, QString>;
    using Value = std::variant<qint32, bool, QString, CDateTime, Hash>;

    static constexpr int kItemCount = 31;
    static constexpr int kDateTimeItem = 15;
    static constexpr int kSoftwareVersionsItem = 29;

    QByteArray serializationBuffer; // not streamed
    qint32 version;
    QByteArray reserved;

    CRuntimeGeneralNonWM();

    // Module name to version text.
    Hash softwareVersions() const;
    // Enters or replaces the module's entry.
    void setSoftwareVersion(const QString &module, const QString &versionText);
    CDateTime dateTime() const;
    void setDateTime(const CDateTime &value);
    // Text of a string item; empty for other items.
    QString text(int item) const;
    // false (and nothing marked) when the item holds no string.
    bool setText(int item, const QString &value);

    // Any item as a variant (the version table as a QVariantHash); invalid out of range.
    QVariant value(int item) const;
    static ItemType itemType(int item);

    bool isMarked(int item) const;
    // The record change mark: some item was set or merged. Never streamed.
    bool isChanged() const { return m_changed; }

    QByteArray serialize();
    // Merging read: takes only marked values that differ from the held ones.
    CRecordStatus parse(const QByteArray &bytes);
    CRecordStatus read(QDataStream &in);
    void write(QDataStream &out) const;

    // Compares values and marks; the serialisation buffer is no part of the value.
    bool operator==(const CRuntimeGeneralNonWM &other) const;
    bool operator!=(const CRuntimeGeneralNonWM &other) const { return !(*this == other); }

private:
    static bool inRange(int item) { return item >= 1 && item <= kItemCount; }
    void mark(int item);
    Value &at(int item) { return m_values[size_t(item - 1)]; }
    const Value &at(int item) const { return m_values[size_t(item - 1)]; }

    std::vector<Value> m_values;
    std::vector<bool> m_marks;
    bool m_changed;
};

QDataStream &operator<<(QDataStream &out, const CRuntimeGeneralNonWM &record);
QDataStream &operator>>(QDataStream &in, CRuntimeGeneralNonWM &record);

#endif // CRUNTIMEGENERALNONWM_H
