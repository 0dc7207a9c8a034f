#ifndef CGPSTIME_H
#define CGPSTIME_H

#include "records/CDateTime.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <ctime>

// Time arithmetic of the GPS path: the week-number rollover correction, the
// conversion of GPS time into the configured zone, the time offset of a GPS
// point and the decision to ask for a clock correction. No logging here; the
// caller logs and signals.
class CGpsTime
{
public:
    // 1024 GPS weeks: receivers with the old week counter report dates this
    // far in the past.
    static constexpr quint16 kRolloverDays = 7168;
    // Last calendar year that only a receiver with the rollover reports.
    static constexpr quint16 kLastFaultyYear = 2018;
    // GPS and system clock may differ by this much before a correction is asked for.
    static constexpr double kSyncThresholdSec = 10.0;
    // Type argument of the sync request signal.
    static constexpr int kSyncRequestType = 3;

    // gpsd's fix time as whole seconds, truncated toward zero into 32 bits.
    // Values beyond the range saturate and NaN gives 0, as the board's
    // float conversion does, instead of being undefined.
    static qint32 gpsSeconds(double fixTime);

    // True when t falls in a local calendar year up to kLastFaultyYear.
    static bool IsFaultiyYear(time_t t);

    // t moved forward by days calendar days in local time, the time of day
    // and daylight-saving flag kept as broken down, renormalised by mktime.
    static time_t AddDays(time_t t, quint16 days);

    // The instant of dateTime as wall-clock fields in timeZone (a TZ value).
    // With daylightSaving off and the zone in summer time, the fields are
    // those of dateTime read as the zone's standard time. The process's TZ
    // is switched for the call and restored (or removed) afterwards.
    static CDateTime ConvertToZoneTime(const CDateTime &dateTime, const QString &timeZone,
                                       bool daylightSaving);
    static CDateTime ConvertToZoneTime(time_t t, const QString &timeZone, bool daylightSaving);

    // Seconds that the zone time is ahead of the system clock: zoneTime's
    // fields read in the process's own zone, minus nowMSecs (milliseconds
    // since 1970), truncated toward zero.
    static qint64 timeOffsetSecs(const CDateTime &zoneTime, qint64 nowMSecs);

    // GPS time as a local date-time; null for a GPS time of 0 or less.
    static CDateTime gpsDateTime(time_t gpsTime);

    // A clock correction is due when the GPS time is ahead of the system
    // time (difftime) by more than the threshold, or behind by more.
    static bool needsSync(double differenceSec);

    // Payload of the sync request: one date-time, stream version 12.
    static QByteArray syncPayload(const CDateTime &gpsTime);
};

#endif // CGPSTIME_H
