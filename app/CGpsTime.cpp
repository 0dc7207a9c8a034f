#include "CGpsTime.h"

#include <QDataStream>
#include <QDate>
#include <QIODevice>
#include <QTime>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace
{
// The records' stream format; the receiver of the sync request reads it so.
constexpr int kStreamVersion = 12;
constexpr int kTmYearBase = 1900;
// At most this many years lie between a date and the same date moved by 65535 days.
constexpr int kMaxYearsCarried = std::numeric_limits<quint16>::max() / 365 + 1;

bool isLeapYear(int year)
{
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

quint16 daysInYear(int year)
{
    return isLeapYear(year) ? 366 : 365;
}

quint16 daysInMonth(int month, int year)
{
    static constexpr quint16 kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Switches TZ for its lifetime and puts the previous value back (or removes
// TZ if there was none), so no exit path leaves the process in another zone.
class CZoneSwitch
{
public:
    explicit CZoneSwitch(const QByteArray &zone)
    {
        tzset();
        const char *previous = std::getenv("TZ");
        m_hadZone = previous != nullptr;
        if (m_hadZone)
            m_previous = previous;
        setenv("TZ", zone.constData(), 1);
        tzset();
    }
    ~CZoneSwitch()
    {
        if (m_hadZone)
            setenv("TZ", m_previous.constData(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    CZoneSwitch(const CZoneSwitch &) = delete;
    CZoneSwitch &operator=(const CZoneSwitch &) = delete;

private:
    QByteArray m_previous;
    bool m_hadZone = false;
};
} // namespace

qint32 CGpsTime::gpsSeconds(double fixTime)
{
    if (std::isnan(fixTime))
        return 0;
    if (fixTime >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (fixTime <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(fixTime);
}

bool CGpsTime::IsFaultiyYear(time_t t)
{
    struct tm local {
    };
    if (!localtime_r(&t, &local))
        return false;
    // In 64 bits: localtime_r gives years up to INT_MAX + 1900.
    return quint16(qint64(local.tm_year) + kTmYearBase) <= kLastFaultyYear;
}

time_t CGpsTime::AddDays(time_t t, quint16 days)
{
    struct tm local {
    };
    if (!localtime_r(&t, &local))
        return t;
    // The calendar year and the years the days carry into must fit an int.
    if (local.tm_year > std::numeric_limits<int>::max() - kTmYearBase - kMaxYearsCarried)
        return t;
    const int month = local.tm_mon + 1;
    int year = local.tm_year + kTmYearBase;

    quint16 dayOfYear = quint16(local.tm_mday);
    for (int m = 1; m < month; ++m)
        dayOfYear += daysInMonth(m, year);

    const quint16 restOfYear = quint16(daysInYear(year) - dayOfYear);
    if (restOfYear >= days) {
        dayOfYear += days;
    } else {
        days -= restOfYear;
        ++year;
        while (days > daysInYear(year)) {
            days -= daysInYear(year);
            ++year;
        }
        dayOfYear = days;
    }

    int newMonth = 1;
    while (dayOfYear > daysInMonth(newMonth, year)) {
        dayOfYear -= daysInMonth(newMonth, year);
        ++newMonth;
    }
    local.tm_mday = dayOfYear;
    local.tm_mon = newMonth - 1;
    local.tm_year = year - kTmYearBase;
    return mktime(&local);
}

CDateTime CGpsTime::ConvertToZoneTime(const CDateTime &dateTime, const QString &timeZone, bool daylightSaving)
{
    if (!dateTime.isValid())
        return CDateTime();
    const time_t t = time_t(dateTime.toTimeT());

    CZoneSwitch zone(timeZone.toLatin1());
    struct tm fields {
    };
    if (!localtime_r(&t, &fields))
        return CDateTime();
    if (!daylightSaving && fields.tm_isdst == 1) {
        // Summer time unwanted: take the date-time's own fields as the
        // zone's standard time and let mktime renormalise them.
        const QDate date = dateTime.date();
        const QTime time = dateTime.time();
        fields.tm_sec = time.second();
        fields.tm_min = time.minute();
        fields.tm_hour = time.hour();
        fields.tm_mday = date.day();
        fields.tm_mon = date.month() - 1;
        fields.tm_year = date.year() - kTmYearBase;
        fields.tm_isdst = 0;
        mktime(&fields);
    }
    return CDateTime::fromDateTime(QDate(fields.tm_year + kTmYearBase, fields.tm_mon + 1, fields.tm_mday),
                                   QTime(fields.tm_hour, fields.tm_min, fields.tm_sec, 0));
}

CDateTime CGpsTime::ConvertToZoneTime(time_t t, const QString &timeZone, bool daylightSaving)
{
    return ConvertToZoneTime(CDateTime::fromTimeT(qint64(t)), timeZone, daylightSaving);
}

qint64 CGpsTime::timeOffsetSecs(const CDateTime &zoneTime, qint64 nowMSecs)
{
    return (zoneTime.toMSecsSinceEpoch() - nowMSecs) / 1000;
}

CDateTime CGpsTime::gpsDateTime(time_t gpsTime)
{
    if (gpsTime <= 0)
        return CDateTime();
    struct tm local {
    };
    if (!localtime_r(&gpsTime, &local))
        return CDateTime();
    return CDateTime::fromTimeT(qint64(mktime(&local)));
}

bool CGpsTime::needsSync(double differenceSec)
{
    return differenceSec > kSyncThresholdSec || differenceSec < -kSyncThresholdSec;
}

QByteArray CGpsTime::syncPayload(const CDateTime &gpsTime)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << gpsTime;
    return bytes;
}
