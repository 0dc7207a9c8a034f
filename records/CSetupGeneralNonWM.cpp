#include "CSetupGeneralNonWM.h"

#include "CRecordStream.h"

#include <array>

namespace
{
using FieldType = CSetupGeneralNonWM::FieldType;

// A run of like fields with their construction value. Texts are in text,
// every number (booleans too) in number.
struct Run {
    int first;
    int last;
    FieldType type;
    double number;
    const char *text;
};

constexpr Run kRuns[] = {
    {1, 1, FieldType::ByteArray, 0, nullptr}, // reserved block, 32 zero bytes
    {2, 6, FieldType::Int32, 0, nullptr},
    {7, 8, FieldType::Bool, 0, nullptr},
    {9, 9, FieldType::Bool, 1, nullptr},
    {10, 10, FieldType::Bool, 0, nullptr},
    {11, 11, FieldType::Bool, 1, nullptr}, // shared with field 32
    {12, 12, FieldType::Bool, 0, nullptr},
    {13, 13, FieldType::Bool, 1, nullptr},
    {14, 14, FieldType::Bool, 0, nullptr},
    {15, 17, FieldType::Int32, 0, nullptr},
    {18, 18, FieldType::Bool, 1, nullptr},
    {19, 19, FieldType::Int32, 0, nullptr},
    {20, 22, FieldType::Bool, 0, nullptr},
    {23, 23, FieldType::Int32, 1, nullptr},
    {24, 25, FieldType::Int32, 0, nullptr},
    {26, 26, FieldType::Int32, 1, nullptr},
    {27, 27, FieldType::Bool, 0, nullptr},
    {28, 29, FieldType::Int32, 0, nullptr},
    {30, 30, FieldType::Bool, 0, nullptr},
    {31, 31, FieldType::Int32, 3, nullptr},
    {32, 32, FieldType::Bool, 1, nullptr}, // shared with field 11
    {33, 33, FieldType::Int32, 0, nullptr},
    {34, 34, FieldType::Bool, 0, nullptr},
    {35, 35, FieldType::Int32, 0, nullptr},
    {36, 37, FieldType::Bool, 0, nullptr},
    {38, 38, FieldType::Int32, 0, nullptr},
    {39, 40, FieldType::Bool, 0, nullptr},
    {41, 41, FieldType::Int32, 0, nullptr},
    {42, 43, FieldType::Int32, 10, nullptr},
    {44, 44, FieldType::Int32, 1, nullptr},
    {45, 45, FieldType::Int32, 2, nullptr},
    {46, 56, FieldType::Bool, 0, nullptr},
    {57, 62, FieldType::Int32, 0, nullptr},
    {63, 63, FieldType::Bool, 0, nullptr},
    {64, 65, FieldType::Int32, 0, nullptr},
    {66, 66, FieldType::String, 0, ""},
    {67, 67, FieldType::Int32, 0, nullptr},
    {68, 68, FieldType::Int64, 0, nullptr},
    {69, 69, FieldType::Int32, 60, nullptr},
    {70, 70, FieldType::Int32, 0, nullptr},
    {71, 71, FieldType::Bool, 0, nullptr},
    {72, 72, FieldType::String, 0, "Europe/Berlin"}, // time zone
    {73, 73, FieldType::Bool, 1, nullptr},           // daylight saving
    {74, 74, FieldType::Int32, 2, nullptr},
    {75, 76, FieldType::Int32, 0, nullptr},
    {77, 79, FieldType::Bool, 1, nullptr},
    {80, 82, FieldType::Int32, 0, nullptr},
    {83, 83, FieldType::String, 0, ""},
    {84, 84, FieldType::Bool, 0, nullptr},
    {85, 85, FieldType::Int32, 10, nullptr},
    {86, 86, FieldType::Int32, 5, nullptr},
    {87, 90, FieldType::Bool, 0, nullptr},
    {91, 91, FieldType::Int32, 0, nullptr},
    {92, 92, FieldType::Int32, 1, nullptr},
    {93, 93, FieldType::Bool, 0, nullptr},
    {94, 94, FieldType::Bool, 1, nullptr},
    {95, 96, FieldType::Bool, 0, nullptr},
    {97, 97, FieldType::Int32, 0, nullptr},
    {98, 98, FieldType::Bool, 0, nullptr},
    {99, 99, FieldType::Int32, 0, nullptr},
    {100, 100, FieldType::Double, 1.0, nullptr},
    {101, 101, FieldType::String, 0, "EUR"},
    {102, 102, FieldType::Int32, 2, nullptr},
    {103, 103, FieldType::String, 0, "EUR"},
    {104, 104, FieldType::Int32, 2, nullptr},
    {105, 105, FieldType::Int32, 5, nullptr},
    {106, 106, FieldType::Int32, 0, nullptr},
    {107, 110, FieldType::Bool, 0, nullptr},
    {111, 112, FieldType::Int32, 0, nullptr},
    {113, 113, FieldType::Bool, 0, nullptr},
    {114, 117, FieldType::Int32, 0, nullptr},
    {118, 119, FieldType::Bool, 0, nullptr},
    {120, 120, FieldType::Int32, 1, nullptr},
    {121, 121, FieldType::Int32, 0, nullptr},
    {122, 122, FieldType::Bool, 0, nullptr},
    {123, 123, FieldType::Int64, 511, nullptr},
    {124, 124, FieldType::Int32, 0, nullptr},
    {125, 127, FieldType::Bool, 0, nullptr},
    {128, 128, FieldType::Int32, 0, nullptr},
    {129, 129, FieldType::Bool, 0, nullptr},
    {130, 130, FieldType::String, 0, ""},
    {131, 131, FieldType::Bool, 0, nullptr},
    {132, 132, FieldType::String, 0, "---"},
    {133, 133, FieldType::Int32, 200000, nullptr},
    {134, 135, FieldType::Int32, 0, nullptr},
    {136, 136, FieldType::Bool, 0, nullptr},
};

const Run &runOf(int field)
{
    for (const Run &run : kRuns) {
        if (field <= run.last)
            return run;
    }
    return kRuns[0]; // not reached for fields in range
}

CSetupGeneralNonWM::Value constructionValue(int field)
{
    const Run &run = runOf(field);
    switch (run.type) {
    case FieldType::ByteArray:
        return CRecordStream::reservedBlock();
    case FieldType::Int32:
        return qint32(run.number);
    case FieldType::Int64:
        return qint64(run.number);
    case FieldType::Bool:
        return run.number != 0;
    case FieldType::Double:
        return run.number;
    case FieldType::String:
        return QString::fromLatin1(run.text);
    }
    return qint32(0);
}

template <typename T> void readInto(QDataStream &in, CSetupGeneralNonWM::Value &value)
{
    T tmp{};
    CRecordStream::read(in, tmp);
    value.emplace<T>(tmp);
}

void readValue(QDataStream &in, FieldType type, CSetupGeneralNonWM::Value &value)
{
    switch (type) {
    case FieldType::ByteArray:
        return readInto<QByteArray>(in, value);
    case FieldType::Int32:
        return readInto<qint32>(in, value);
    case FieldType::Int64:
        return readInto<qint64>(in, value);
    case FieldType::Bool:
        return readInto<bool>(in, value);
    case FieldType::Double:
        return readInto<double>(in, value);
    case FieldType::String:
        return readInto<QString>(in, value);
    }
}
} // namespace

CSetupGeneralNonWM::CSetupGeneralNonWM()
    : version(CRecordStream::kRecordVersion), m_values(constructionValues())
{
}

// Built once: finding each field's run is a search through the layout, too
// slow to repeat for every record made.
const std::vector<CSetupGeneralNonWM::Value> &CSetupGeneralNonWM::constructionValues()
{
    static const std::vector<Value> values = [] {
        std::vector<Value> built(size_t(slot(kFieldCount) + 1));
        for (int field = 1; field <= kFieldCount; ++field) {
            if (field != kSharedFieldSecond)
                built[size_t(slot(field))] = constructionValue(field);
        }
        return built;
    }();
    return values;
}

int CSetupGeneralNonWM::slot(int field)
{
    if (field == kSharedFieldSecond)
        return slot(kSharedFieldFirst);
    return field < kSharedFieldSecond ? field - 1 : field - 2;
}

QString CSetupGeneralNonWM::timeZone() const
{
    return std::get<QString>(m_values[size_t(slot(kTimeZoneField))]);
}

void CSetupGeneralNonWM::setTimeZone(const QString &zone)
{
    m_values[size_t(slot(kTimeZoneField))] = zone;
}

bool CSetupGeneralNonWM::daylightSaving() const
{
    return std::get<bool>(m_values[size_t(slot(kDaylightSavingField))]);
}

void CSetupGeneralNonWM::setDaylightSaving(bool on)
{
    m_values[size_t(slot(kDaylightSavingField))] = on;
}

CSetupGeneralNonWM::FieldType CSetupGeneralNonWM::fieldType(int field)
{
    return runOf(field).type;
}

QVariant CSetupGeneralNonWM::field(int field) const
{
    if (!inRange(field))
        return QVariant();
    return std::visit([](const auto &value) { return QVariant::fromValue(value); },
                      m_values[size_t(slot(field))]);
}

bool CSetupGeneralNonWM::setField(int field, const QVariant &value)
{
    if (!inRange(field))
        return false;
    Value &held = m_values[size_t(slot(field))];
    bool ok = true;
    switch (fieldType(field)) {
    case FieldType::ByteArray:
        ok = value.canConvert<QByteArray>();
        if (ok)
            held = value.toByteArray();
        break;
    case FieldType::Int32: {
        const qint32 number = value.toInt(&ok);
        if (ok)
            held = number;
        break;
    }
    case FieldType::Int64: {
        const qint64 number = value.toLongLong(&ok);
        if (ok)
            held = number;
        break;
    }
    case FieldType::Bool:
        ok = value.canConvert<bool>();
        if (ok)
            held = value.toBool();
        break;
    case FieldType::Double: {
        const double number = value.toDouble(&ok);
        if (ok)
            held = number;
        break;
    }
    case FieldType::String:
        ok = value.canConvert<QString>();
        if (ok)
            held = value.toString();
        break;
    }
    return ok;
}

QByteArray CSetupGeneralNonWM::serialize()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

CRecordStatus CSetupGeneralNonWM::parse(const QByteArray &bytes)
{
    CRecordStream in(bytes);
    return CRecordStream::finish(in, read(in));
}

CRecordStatus CSetupGeneralNonWM::read(QDataStream &in)
{
    CRecordStream::setRecordVersion(in);
    const CRecordStatus header = CRecordStream::readVersion(in);
    if (!header.ok())
        return header;
    for (int field = 1; field <= kFieldCount; ++field)
        readValue(in, fieldType(field), m_values[size_t(slot(field))]);
    return CRecordStream::status(in);
}

void CSetupGeneralNonWM::write(QDataStream &out) const
{
    CRecordStream::setRecordVersion(out);
    out << version;
    for (int field = 1; field <= kFieldCount; ++field)
        std::visit([&out](const auto &value) { out << value; }, m_values[size_t(slot(field))]);
}

bool CSetupGeneralNonWM::operator==(const CSetupGeneralNonWM &other) const
{
    return version == other.version && m_values == other.m_values;
}

QDataStream &operator<<(QDataStream &out, const CSetupGeneralNonWM &record)
{
    record.write(out);
    return out;
}

QDataStream &operator>>(QDataStream &in, CSetupGeneralNonWM &record)
{
    record.read(in);
    return in;
}
