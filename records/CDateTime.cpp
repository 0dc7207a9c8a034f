#include "CDateTime.h"

#include <QDataStream>
#include <QLocale>
#include <ctime>
#include <limits>

namespace
{
// First day of the Gregorian calendar as the fleet's readers count it.
constexpr quint32 kGregorianStartJd = 2299161;

constexpr qint64 kUnixEpochJd = 2440588; // Julian day of 1970-01-01
constexpr qint64 kSecsPerDay = 86400;

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// time_t is 32 bits on the board (Debian 12 armhf): it ends on 2038-01-19
// and begins on 1901-12-13. Instants outside take the zone offset of the
// nearest edge, so they keep a date-time instead of wrapping around.
bool fitsTimeT(qint64 secs)
{
    return secs >= qint64(std::numeric_limits<time_t>::min()) &&
           secs <= qint64(std::numeric_limits<time_t>::max());
}

bool edgeLocalTime(qint64 secs, struct tm *out)
{
    const time_t edge = secs > 0 ? std::numeric_limits<time_t>::max() : std::numeric_limits<time_t>::min();
    return localtime_r(&edge, out) != nullptr;
}

CDateTime fromLocalMSecs(qint64 msecs)
{
    // Floor division; the remainder form cannot overflow at the type's minimum.
    qint64 secs = msecs / 1000;
    qint64 rest = msecs % 1000;
    if (rest < 0) {
        rest += 1000;
        --secs;
    }
    struct tm tm {
    };
    QDate date;
    qint64 secsOfDay = 0;
    if (fitsTimeT(secs)) {
        const time_t t = time_t(secs);
        if (!localtime_r(&t, &tm))
            return CDateTime();
        date = QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
        secsOfDay = (tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec;
    } else {
        if (!edgeLocalTime(secs, &tm))
            return CDateTime();
        const qint64 local = secs + tm.tm_gmtoff;
        const qint64 days = floorDiv(local, kSecsPerDay);
        date = QDate::fromJulianDay(kUnixEpochJd + days);
        secsOfDay = local - days * kSecsPerDay;
    }
    const quint32 julianDay = CDateTime::julianDayFromDate(date);
    if (julianDay == 0)
        return CDateTime();
    return CDateTime::fromRaw(julianDay, quint32(secsOfDay * 1000 + rest),
                              tm.tm_isdst > 0 ? CDateTime::LocalDST : CDateTime::LocalStandard);
}
} // namespace

quint32 CDateTime::julianDayFromDate(const QDate &date)
{
    if (!date.isValid())
        return 0;
    int year = date.year();
    const int month = date.month();
    const int day = date.day();
    if (year > 1582 || (year == 1582 && (month > 10 || (month == 10 && day >= 15))))
        return quint32(date.toJulianDay());
    if (year == 1582 && month == 10 && day > 4)
        return 0; // 5 to 14 October 1582 never existed
    if (year < 0)
        ++year;
    // Julian calendar (Claus Toendering's calendar FAQ); the year term in 64
    // bits, since QDate goes far beyond the years whose product fits an int.
    const int a = (14 - month) / 12;
    return quint32((153 * (month + 12 * a - 3) + 2) / 5 + (1461 * (qint64(year) + 4800 - a)) / 4 + day -
                   32083);
}

QDate CDateTime::dateFromJulianDay(quint32 julianDay)
{
    if (julianDay == 0)
        return QDate();
    if (julianDay >= kGregorianStartJd)
        return QDate::fromJulianDay(qint64(julianDay));
    const qint64 jd = qint64(julianDay) + 32082;
    const qint64 dd = (4 * jd + 3) / 1461;
    const qint64 ee = jd - (1461 * dd) / 4;
    const qint64 mm = (5 * ee + 2) / 153;
    const int d = int(ee - (153 * mm + 2) / 5 + 1);
    const int m = int(mm + 3 - 12 * (mm / 10));
    int y = int(dd - 4800 + mm / 10);
    if (y <= 0)
        --y;
    return QDate(y, m, d);
}

CDateTime CDateTime::fromRaw(quint32 julianDay, quint32 msecsOfDay, quint8 spec)
{
    CDateTime v;
    v.m_julianDay = julianDay;
    v.m_msecs = msecsOfDay;
    v.m_spec = spec;
    return v;
}

CDateTime CDateTime::fromDate(const QDate &date)
{
    return fromDateTime(date, QTime(0, 0));
}

CDateTime CDateTime::fromDateTime(const QDate &date, const QTime &time)
{
    return fromRaw(julianDayFromDate(date), time.isValid() ? quint32(time.msecsSinceStartOfDay()) : kNullTime,
                   LocalUnknown);
}

CDateTime CDateTime::fromTimeT(qint64 secs)
{
    // Beyond this the milliseconds overflow; no such instant has a date-time.
    constexpr qint64 kMaxSecs = std::numeric_limits<qint64>::max() / 1000;
    if (secs > kMaxSecs || secs < -kMaxSecs)
        return CDateTime();
    return fromLocalMSecs(secs * 1000);
}

CDateTime CDateTime::fromMSecsSinceEpoch(qint64 msecs)
{
    return fromLocalMSecs(msecs);
}

CDateTime CDateTime::currentDateTime()
{
    return fromLocalMSecs(QDateTime::currentMSecsSinceEpoch());
}

CDateTime CDateTime::fromUtc(const QDate &date, const QTime &time)
{
    CDateTime v = fromDateTime(date, time);
    v.m_spec = Utc;
    return v;
}

QDate CDateTime::date() const
{
    return dateFromJulianDay(m_julianDay);
}

QTime CDateTime::time() const
{
    if (m_msecs == kNullTime || m_msecs >= 86400000u)
        return QTime();
    return QTime::fromMSecsSinceStartOfDay(int(m_msecs));
}

qint64 CDateTime::toMSecsSinceEpoch() const
{
    const QDate d = date();
    const QTime t = time().isValid() ? time() : QTime(0, 0);
    if (!d.isValid())
        return 0;
    if (m_spec == Utc) {
        const qint64 days = qint64(m_julianDay) - kUnixEpochJd;
        return days * kSecsPerDay * 1000 + t.msecsSinceStartOfDay();
    }
    // Wall-clock seconds as if the fields were UTC: tells whether mktime can
    // take them (a day's margin covers any zone offset).
    const qint64 wallSecs = (d.toJulianDay() - kUnixEpochJd) * kSecsPerDay + t.msecsSinceStartOfDay() / 1000;
    struct tm tm {
    };
    if (!fitsTimeT(wallSecs - kSecsPerDay) || !fitsTimeT(wallSecs + kSecsPerDay)) {
        constexpr qint64 kMaxSecs = std::numeric_limits<qint64>::max() / 1000 - kSecsPerDay;
        if (wallSecs > kMaxSecs || wallSecs < -kMaxSecs || !edgeLocalTime(wallSecs, &tm))
            return 0;
        return (wallSecs - tm.tm_gmtoff) * 1000 + t.msec();
    }
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_hour = t.hour();
    tm.tm_min = t.minute();
    tm.tm_sec = t.second();
    tm.tm_isdst = m_spec == LocalDST ? 1 : (m_spec == LocalStandard ? 0 : -1);
    const time_t secs = mktime(&tm);
    return qint64(secs) * 1000 + t.msec();
}

QDateTime CDateTime::toQDateTime() const
{
    if (!date().isValid())
        return QDateTime();
    if (m_spec == Utc)
        return QDateTime(date(), time(), Qt::UTC);
    return QDateTime(date(), time(), Qt::LocalTime);
}

QString CDateTime::toString(const QString &format) const
{
    const QDate d = date();
    const QTime t = time();
    if (!d.isValid())
        return QString();
    // Keep the calendar labels of the value; QDateTime would re-base them.
    QString out = QLocale::c().toString(QDateTime(d, t.isValid() ? t : QTime(0, 0), Qt::UTC), format);
    return out;
}

QString CDateTime::toTextDate() const
{
    const QDate d = date();
    const QTime t = time();
    if (!d.isValid() || !t.isValid())
        return QString();
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // The weekday follows from the Julian day, so it is right in either calendar.
    const int dayOfWeek = int(m_julianDay % 7);
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(QLatin1String(days[dayOfWeek]), QLatin1String(months[d.month() - 1]))
        .arg(d.day())
        .arg(t.toString(QStringLiteral("hh:mm:ss")))
        .arg(d.year());
}

bool CDateTime::operator==(const CDateTime &other) const
{
    if (m_spec == other.m_spec)
        return m_julianDay == other.m_julianDay && m_msecs == other.m_msecs;
    if (isNull() || other.isNull())
        return false;
    return toMSecsSinceEpoch() == other.toMSecsSinceEpoch();
}

QDataStream &operator<<(QDataStream &out, const CDateTime &value)
{
    out << value.julianDay() << value.msecsOfDay() << qint8(value.spec());
    return out;
}

QDataStream &operator>>(QDataStream &in, CDateTime &value)
{
    quint32 jd = 0;
    quint32 ms = 0xFFFFFFFFu;
    qint8 spec = qint8(CDateTime::LocalUnknown);
    in >> jd >> ms >> spec;
    value = CDateTime::fromRaw(jd, ms, quint8(spec));
    return in;
}
