#include "CRuntimeGeneralNonWM.h"

#include "CRecordStream.h"

#include <QStringList>
#include <algorithm>
#include <utility>

namespace
{
using ItemType = CRuntimeGeneralNonWM::ItemType;
using Hash = CRuntimeGeneralNonWM::Hash;
using Value = CRuntimeGeneralNonWM::Value;

struct Run {
    int first;
    int last;
    ItemType type;
    qint32 number;
};

constexpr Run kRuns[] = {
    {1, 2, ItemType::Int32, 0},    {3, 3, ItemType::Bool, 0},       {4, 13, ItemType::String, 0},
    {14, 14, ItemType::Int32, 0},  {15, 15, ItemType::DateTime, 0}, {16, 16, ItemType::String, 0},
    {17, 17, ItemType::Int32, -1}, {18, 18, ItemType::String, 0},   {19, 19, ItemType::Int32, -1},
    {20, 28, ItemType::String, 0}, {29, 29, ItemType::Hash, 0},     {30, 30, ItemType::String, 0},
    {31, 31, ItemType::Int32, 0},
};

const Run &runOf(int item)
{
    for (const Run &run : kRuns) {
        if (item <= run.last)
            return run;
    }
    return kRuns[0]; // not reached for items in range
}

Value constructionValue(int item)
{
    const Run &run = runOf(item);
    switch (run.type) {
    case ItemType::Int32:
        return Value(std::in_place_type<qint32>, run.number);
    case ItemType::Bool:
        return Value(std::in_place_type<bool>, run.number != 0);
    case ItemType::String:
        return Value(std::in_place_type<QString>, QLatin1String(""));
    case ItemType::DateTime:
        // The epoch as local time, like every other process of the system builds it.
        return Value(std::in_place_type<CDateTime>, CDateTime::fromMSecsSinceEpoch(0));
    case ItemType::Hash:
        return Value(std::in_place_type<Hash>);
    }
    return Value();
}

// An entry is two texts, each at least its 4-byte length.
constexpr quint32 kMinHashEntryBytes = 8;

// Bounded by the input: a count the bytes left cannot hold is refused before
// the loop, every entry read consumes bytes, and reading stops at the first
// failure, so a garbage count cannot spin.
void readHash(QDataStream &in, Hash &hash)
{
    Hash entries;
    quint32 count = 0;
    CRecordStream::readCount(in, count, kMinHashEntryBytes);
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString key;
        QString text;
        CRecordStream::read(in, key);
        CRecordStream::read(in, text);
        if (in.status() == QDataStream::Ok)
            entries.insert(key, text);
    }
    hash = in.status() == QDataStream::Ok ? entries : Hash();
}

void writeHash(QDataStream &out, const Hash &hash)
{
    // Reverse iteration order, as the system's readers expect.
    QStringList keys;
    for (auto it = hash.cbegin(); it != hash.cend(); ++it)
        keys.append(it.key());
    std::reverse(keys.begin(), keys.end());
    out << quint32(hash.size());
    for (const QString &key : std::as_const(keys))
        out << key << hash.value(key);
}

template <typename T> Value readTyped(QDataStream &in)
{
    T value{};
    CRecordStream::read(in, value);
    return Value(std::in_place_type<T>, value);
}

Value readValue(QDataStream &in, ItemType type)
{
    switch (type) {
    case ItemType::Int32:
        return readTyped<qint32>(in);
    case ItemType::Bool:
        return readTyped<bool>(in);
    case ItemType::String:
        return readTyped<QString>(in);
    case ItemType::DateTime:
        return readTyped<CDateTime>(in);
    case ItemType::Hash: {
        Hash hash;
        readHash(in, hash);
        return Value(std::in_place_type<Hash>, hash);
    }
    }
    return Value();
}

struct ValueWriter {
    QDataStream &out;
    void operator()(const Hash &hash) const { writeHash(out, hash); }
    template <typename T> void operator()(const T &value) const { out << value; }
};

struct VariantMaker {
    QVariant operator()(const Hash &hash) const
    {
        QVariantHash result;
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            result.insert(it.key(), it.value());
        return result;
    }
    QVariant operator()(const CDateTime &value) const { return QVariant::fromValue(value.toQDateTime()); }
    template <typename T> QVariant operator()(const T &value) const { return QVariant::fromValue(value); }
};
} // namespace

CRuntimeGeneralNonWM::CRuntimeGeneralNonWM()
    : version(CRecordStream::kRecordVersion), reserved(CRecordStream::reservedBlock()),
      m_marks(size_t(kItemCount), false), m_changed(false)
{
    m_values.reserve(size_t(kItemCount));
    for (int item = 1; item <= kItemCount; ++item)
        m_values.push_back(constructionValue(item));
}

CRuntimeGeneralNonWM::ItemType CRuntimeGeneralNonWM::itemType(int item)
{
    return runOf(item).type;
}

void CRuntimeGeneralNonWM::mark(int item)
{
    m_marks[size_t(item - 1)] = true;
    m_changed = true;
}

bool CRuntimeGeneralNonWM::isMarked(int item) const
{
    return inRange(item) && m_marks[size_t(item - 1)];
}

CRuntimeGeneralNonWM::Hash CRuntimeGeneralNonWM::softwareVersions() const
{
    return std::get<Hash>(at(kSoftwareVersionsItem));
}

void CRuntimeGeneralNonWM::setSoftwareVersion(const QString &module, const QString &versionText)
{
    std::get<Hash>(at(kSoftwareVersionsItem)).insert(module, versionText);
    mark(kSoftwareVersionsItem);
}

CDateTime CRuntimeGeneralNonWM::dateTime() const
{
    return std::get<CDateTime>(at(kDateTimeItem));
}

void CRuntimeGeneralNonWM::setDateTime(const CDateTime &value)
{
    at(kDateTimeItem) = value;
    mark(kDateTimeItem);
}

QString CRuntimeGeneralNonWM::text(int item) const
{
    if (!inRange(item) || itemType(item) != ItemType::String)
        return QString();
    return std::get<QString>(at(item));
}

bool CRuntimeGeneralNonWM::setText(int item, const QString &value)
{
    if (!inRange(item) || itemType(item) != ItemType::String)
        return false;
    at(item) = value;
    mark(item);
    return true;
}

QVariant CRuntimeGeneralNonWM::value(int item) const
{
    if (!inRange(item))
        return QVariant();
    return std::visit(VariantMaker(), at(item));
}

QByteArray CRuntimeGeneralNonWM::serialize()
{
    CRecordStream out(&serializationBuffer);
    write(out);
    return serializationBuffer;
}

CRecordStatus CRuntimeGeneralNonWM::parse(const QByteArray &bytes)
{
    CRecordStream in(bytes);
    return CRecordStream::finish(in, read(in));
}

CRecordStatus CRuntimeGeneralNonWM::read(QDataStream &in)
{
    CRecordStream::setRecordVersion(in);
    const CRecordStatus header = CRecordStream::readVersion(in);
    if (!header.ok())
        return header;
    CRecordStream::read(in, reserved);
    for (int item = 1; item <= kItemCount; ++item) {
        bool marked = false;
        CRecordStream::read(in, marked);
        const Value value = readValue(in, itemType(item));
        if (marked && value != at(item)) {
            at(item) = value;
            mark(item);
        }
    }
    return CRecordStream::status(in);
}

void CRuntimeGeneralNonWM::write(QDataStream &out) const
{
    CRecordStream::setRecordVersion(out);
    out << version << reserved;
    for (int item = 1; item <= kItemCount; ++item) {
        out << bool(m_marks[size_t(item - 1)]);
        std::visit(ValueWriter{out}, at(item));
    }
}

bool CRuntimeGeneralNonWM::operator==(const CRuntimeGeneralNonWM &other) const
{
    return version == other.version && reserved == other.reserved && m_values == other.m_values &&
           m_marks == other.m_marks && m_changed == other.m_changed;
}

QDataStream &operator<<(QDataStream &out, const CRuntimeGeneralNonWM &record)
{
    record.write(out);
    return out;
}

QDataStream &operator>>(QDataStream &in, CRuntimeGeneralNonWM &record)
{
    record.read(in);
    return in;
}
