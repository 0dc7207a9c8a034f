#include "CTracking.h"

#include "logging/CLogStream.h"
#include "records/CRuntimeGps.h"

#include <cmath>

namespace
{
const char *const kSource = "cgpsprog";

constexpr double kDegreesToRadians = 0.017453292519943295;
// The fleet's logbooks measure on a sphere of the WGS84 equatorial radius;
// keep it, or stored distances drift from the ones already on record.
constexpr double kEarthRadiusKm = 6378.137;
constexpr double kMetresPerKm = 1000.0;
constexpr qint64 kMSecsPerDay = 86400000;
constexpr qint64 kSecsPerDay = 86400;

// Day number and milliseconds of the day of a date-time in UTC.
void utcDayAndMSecs(const CDateTime &value, qint64 &day, qint64 &msOfDay)
{
    const qint64 ms = value.toMSecsSinceEpoch();
    day = ms / kMSecsPerDay;
    msOfDay = ms % kMSecsPerDay;
    if (msOfDay < 0) {
        msOfDay += kMSecsPerDay;
        --day;
    }
}
} // namespace

CTracking::CTracking() : m_clock(&CDateTime::currentDateTime) {}

double CTracking::distanceMetres(double latitude1, double longitude1, double latitude2, double longitude2)
{
    const double sinHalfLat = std::sin((latitude2 - latitude1) * kDegreesToRadians * 0.5);
    const double sinHalfLon = std::sin((longitude2 - longitude1) * kDegreesToRadians * 0.5);
    const double a = sinHalfLat * sinHalfLat + std::cos(latitude1 * kDegreesToRadians) *
                                                   std::cos(latitude2 * kDegreesToRadians) * sinHalfLon *
                                                   sinHalfLon;
    const double c = std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
    return (c + c) * kEarthRadiusKm * kMetresPerKm;
}

double CTracking::roundedHdop(double hdop)
{
    return std::isfinite(hdop) ? std::round(hdop) : kUnknownHdop;
}

qint64 CTracking::secondsBetween(const CDateTime &from, const CDateTime &to)
{
    qint64 fromDay = 0;
    qint64 fromMs = 0;
    qint64 toDay = 0;
    qint64 toMs = 0;
    utcDayAndMSecs(from, fromDay, fromMs);
    utcDayAndMSecs(to, toDay, toMs);
    // Only the time-of-day part is truncated, as Qt 4's QDateTime::secsTo
    // counts; across midnight this can be one second more than truncating
    // the whole span.
    return (toDay - fromDay) * kSecsPerDay + (toMs - fromMs) / 1000;
}

CTracking::SPrepared CTracking::prepare(CRuntimeGps &fix, int fixModeCopy, const STrackingValues &values)
{
    SPrepared found;
    m_now = m_clock();
    if (m_firstPass) {
        m_firstPass = false;
        // One interval back, so the first fix is due at once in modes 2 and 4.
        const CDateTime fresh = m_clock();
        m_trackingClock =
            CDateTime::fromMSecsSinceEpoch(fresh.toMSecsSinceEpoch() - qint64(values.iInterval) * 1000);
    }

    if (fixModeCopy >= 2) {
        const double hdop = fix.hdop();
        fix.setHdop(roundedHdop(hdop));
        if (std::isfinite(hdop)) {
            CLogStream(QtDebugMsg, kSource, 896) << "DOP_SET: status / hdop: " << fix.hdop();
        } else {
            // Until a new position report sets the mode again, later fixes
            // are not taken as 2D/3D.
            found.hdopUnknown = true;
            CLogStream(QtDebugMsg, kSource, 903) << "isfinite(gpsdata.dop.hdop) == 0";
        }
        if (m_anchorLatitude == 0.0)
            m_anchorLatitude = fix.latitude();
        if (m_anchorLongitude == 0.0)
            m_anchorLongitude = fix.longitude();
        found.positionFix = true;
    }

    CLogStream(QtWarningMsg, kSource, 915) << "Pos " << fix.latitude() << "/" << fix.longitude() << " Speed "
                                           << fix.speed() << " Dir " << fix.track();
    return found;
}

bool CTracking::decide(const CRuntimeGps &fix, const STrackingValues &values) const
{
    const qint64 timeDiff = secondsBetween(m_trackingClock, m_now);
    const double metres =
        distanceMetres(fix.latitude(), fix.longitude(), m_anchorLatitude, m_anchorLongitude);
    CLogStream(QtDebugMsg, kSource, 921)
        << "SaveGPSData eTrackingStatus " << values.eTrackingStatus << " distance " << metres
        << " time diff. " << timeDiff << " iInterval " << values.iInterval;

    const bool intervalDue = timeDiff >= values.iInterval;
    // NaN distances and speeds compare false everywhere below: never stored.
    switch (values.eTrackingStatus) {
    case kByTime:
        return intervalDue;
    case kByDistance:
        return double(values.distance) <= metres;
    case kBySpeedLevel: {
        const double speed = fix.speed();
        const double level = double(values.SpeedLevel);
        // One more point after dropping below the level, then quiet until it is reached again.
        return (speed >= level && intervalDue) || (speed < level && intervalDue && m_aboveLevel);
    }
    default:
        return false;
    }
}

void CTracking::commit(const CRuntimeGps &fix, const STrackingValues &values)
{
    m_aboveLevel = fix.speed() >= double(values.SpeedLevel);
    m_trackingClock = m_now;
    m_anchorLatitude = fix.latitude();
    m_anchorLongitude = fix.longitude();
}
