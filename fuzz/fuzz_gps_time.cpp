// The GPS time and tracking helpers with whatever a report or a record may
// carry: any time_t, any double (NaN, infinities, huge), any date-time as
// it travels in a record, and any TZ text from the general setup.

#include "CFuzzEnvironment.h"
#include "CFuzzInput.h"

#include "app/CGpsTime.h"
#include "logbook/CTracking.h"
#include "records/CRuntimeGps.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>

namespace
{
// Longer TZ texts are no zone names; the C library reads them all the same.
constexpr size_t kMaxZoneBytes = 64;
// "Now" comes from the system clock; keep it within the range of any clock
// (about 285,000 years either side of 1970), not the whole of qint64.
constexpr qint64 kMaxNowMSecs = Q_INT64_C(9007199254740992);
constexpr qint64 kSecsPerYear = 31556952; // mean Gregorian year

QByteArray currentZone()
{
    const char *zone = std::getenv("TZ");
    return zone ? QByteArray(zone) : QByteArray("<unset>");
}

void checkGpsSeconds(double fixTime)
{
    const qint32 secs = CGpsTime::gpsSeconds(fixTime);
    // Documented: truncation toward zero, saturation beyond the range, 0 for NaN.
    if (std::isnan(fixTime))
        FUZZ_CHECK(secs == 0);
    else if (fixTime >= double(std::numeric_limits<qint32>::max()))
        FUZZ_CHECK(secs == std::numeric_limits<qint32>::max());
    else if (fixTime <= double(std::numeric_limits<qint32>::min()))
        FUZZ_CHECK(secs == std::numeric_limits<qint32>::min());
    else
        FUZZ_CHECK(double(secs) == std::trunc(fixTime));
}

void useDateTime(const CDateTime &value)
{
    (void)value.isValid();
    (void)value.toMSecsSinceEpoch();
    (void)value.toTextDate();
    (void)value.toString(QStringLiteral("yyyyMMddhhmmss"));
    (void)value.toQDateTime();
    (void)(value == CDateTime::fromRaw(value.julianDay(), value.msecsOfDay(), CDateTime::Utc));
    FUZZ_CHECK(CGpsTime::syncPayload(value).size() == 9);
}

void checkTracking(CFuzzInput &in, const CDateTime &now, const CDateTime &then)
{
    const double lat1 = in.value<double>();
    const double lon1 = in.value<double>();
    const double lat2 = in.value<double>();
    const double lon2 = in.value<double>();
    (void)CTracking::distanceMetres(lat1, lon1, lat2, lon2);
    const double hdop = in.value<double>();
    const double rounded = CTracking::roundedHdop(hdop);
    FUZZ_CHECK(std::isfinite(rounded));
    (void)CTracking::secondsBetween(then, now);

    STrackingValues values;
    values.eTrackingStatus = in.value<qint32>();
    values.iInterval = in.value<qint32>();
    values.distance = in.value<qint32>();
    values.SpeedLevel = in.value<qint32>();
    CRuntimeGps fix;
    fix.setLatitude(lat1);
    fix.setLongitude(lon1);
    fix.setHdop(hdop);
    fix.setSpeed(in.value<double>());
    fix.setTrack(in.value<double>());
    fix.setDateTime(then);
    int fixMode = in.value<qint8>();

    CTracking tracking;
    tracking.setClock([now] { return now; });
    // Two fixes: the first arms the clock and the anchor, the second measures against them.
    for (int pass = 0; pass < 2; ++pass) {
        if (tracking.prepare(fix, fixMode, values).hdopUnknown)
            fixMode = 1;
        if (tracking.decide(fix, values)) {
            tracking.commit(fix, values);
            fixMode = 1;
        }
        fix.setLatitude(lat2);
        fix.setLongitude(lon2);
    }
}
} // namespace

// glibc's setenv keeps every value it was ever given for the life of the
// process, so that an old getenv pointer never dangles; a new TZ text per
// input grew that table (and the leak checker's scans) without end. Here
// each variable holds one copy of ours, freed when the next value replaces
// it: nothing in this target keeps a getenv pointer across a zone switch
// (CZoneSwitch and currentZone copy the text, tzset keeps its own copy).
extern "C" int setenv(const char *name, const char *value, int overwrite) noexcept
{
    static std::map<std::string, std::unique_ptr<char[]>> owned;
    if (!name || !*name || std::strchr(name, '=')) {
        errno = EINVAL;
        return -1;
    }
    if (!overwrite && std::getenv(name))
        return 0;
    const std::string entry = std::string(name) + '=' + value;
    std::unique_ptr<char[]> copy(new char[entry.size() + 1]);
    std::memcpy(copy.get(), entry.c_str(), entry.size() + 1);
    if (putenv(copy.get()) != 0)
        return -1;
    owned[name] = std::move(copy); // frees the copy the environment no longer holds
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    CFuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CFuzzInput in(data, size);
    const qint64 t64 = in.value<qint64>();
    const time_t t = time_t(t64);
    const quint16 days = in.value<quint16>();
    const double fixTime = in.value<double>();
    const bool daylightSaving = in.flag();
    // One value per statement: argument order is unspecified, and gcc and
    // clang must decode a regression input the same way.
    const quint32 julianDay = in.value<quint32>();
    const quint32 msecsOfDay = in.value<quint32>();
    const quint8 spec = in.value<quint8>();
    const CDateTime raw = CDateTime::fromRaw(julianDay, msecsOfDay, spec);
    const qint64 nowMSecs = qBound(-kMaxNowMSecs, in.value<qint64>(), kMaxNowMSecs);
    const double difference = in.value<double>();
    const QString zone = QString::fromLatin1(in.bytes(kMaxZoneBytes));

    checkGpsSeconds(fixTime);
    (void)CGpsTime::IsFaultiyYear(t);
    (void)CGpsTime::AddDays(t, days);
    (void)CGpsTime::gpsDateTime(t);
    (void)CGpsTime::needsSync(difference);

    const QByteArray zoneBefore = currentZone();
    const CDateTime fromTime = CGpsTime::ConvertToZoneTime(t, zone, daylightSaving);
    FUZZ_CHECK(currentZone() == zoneBefore);
    const CDateTime fromRecord = CGpsTime::ConvertToZoneTime(raw, zone, daylightSaving);
    FUZZ_CHECK(currentZone() == zoneBefore);
    (void)CGpsTime::timeOffsetSecs(fromRecord, nowMSecs);
    (void)CGpsTime::timeOffsetSecs(fromTime, nowMSecs);

    useDateTime(raw);
    useDateTime(fromTime);
    useDateTime(CDateTime::fromTimeT(t64));
    useDateTime(CDateTime::fromMSecsSinceEpoch(t64));

    checkTracking(in, CDateTime::fromMSecsSinceEpoch(nowMSecs), raw);

    // Whole years as well, so that the fuzzer's favourite integers (INT_MAX and
    // the like) land on the edges of the C library's calendar.
    const time_t yearly = time_t(qint64(in.value<qint32>()) * kSecsPerYear);
    (void)CGpsTime::IsFaultiyYear(yearly);
    (void)CGpsTime::AddDays(yearly, days);
    (void)CGpsTime::gpsDateTime(yearly);
    (void)CGpsTime::ConvertToZoneTime(yearly, zone, daylightSaving);
    useDateTime(CDateTime::fromTimeT(yearly));
    return 0;
}
