#ifndef CLOGBOOKLINE_H
#define CLOGBOOKLINE_H

#include "records/CGpsPoint.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

class CLogBase;

// One entry of the data service's logbook listing ("ROW TIME PROCESS TYPE
// SUBTYPE HEX"), with the entry decoded by its table's class.
class CLogbookLine
{
public:
    static const char *const kGpsTable;
    static const char *const kTrackingTable;

    QString table; // "gps" or "tracking"
    quint64 row = 0;
    QString stored;       // as listed: UTC, ISO 8601 with milliseconds
    QDateTime storedTime; // the same in UTC; invalid when the text is no time
    int process = 0;
    int type = 0;
    int subtype = 0;
    QByteArray data;
    bool decoded = false;
    CGpsPoint point;

    // False when the line does not have the listing's six fields.
    static bool parse(const QString &table, const QString &line, CLogbookLine *entry);

    bool isTracking() const { return table == QLatin1String(kTrackingTable); }
    // The entry as its table's class; an entry that does not decode comes
    // back as a bare base entry with the listed type and subtype.
    std::unique_ptr<CLogBase> entry() const;
};

#endif // CLOGBOOKLINE_H
