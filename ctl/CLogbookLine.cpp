#include "CLogbookLine.h"

#include "logbook/CLogGps.h"
#include "logbook/CLogTracking.h"

#include <QStringList>

const char *const CLogbookLine::kGpsTable = "gps";
const char *const CLogbookLine::kTrackingTable = "tracking";

namespace
{
constexpr int kFieldCount = 6;
} // namespace

bool CLogbookLine::parse(const QString &table, const QString &line, CLogbookLine *entry)
{
    const QStringList fields = line.split(QLatin1Char(' '));
    if (fields.size() != kFieldCount)
        return false;
    entry->table = table;
    entry->row = fields.at(0).toULongLong();
    entry->stored = fields.at(1);
    entry->storedTime = QDateTime::fromString(entry->stored, Qt::ISODateWithMs).toUTC();
    entry->process = fields.at(2).toInt();
    entry->type = fields.at(3).toInt();
    entry->subtype = fields.at(4).toInt();
    entry->data =
        fields.at(5) == QLatin1String("-") ? QByteArray() : QByteArray::fromHex(fields.at(5).toLatin1());
    if (entry->isTracking()) {
        CLogTracking log;
        entry->decoded = log.parse(entry->data).ok();
        entry->point = log.oGpsPoint;
    } else {
        CLogGps log;
        entry->decoded = log.parse(entry->data).ok();
        entry->point = log.oGpsPoint;
    }
    return true;
}

std::unique_ptr<CLogBase> CLogbookLine::entry() const
{
    if (decoded && isTracking())
        return std::make_unique<CLogTracking>(data);
    if (decoded)
        return std::make_unique<CLogGps>(data);
    auto bare = std::make_unique<CLogBase>(type);
    bare->iSubType = subtype;
    return bare;
}
