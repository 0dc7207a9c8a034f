#include "CUtcTime.h"

#include <QRegularExpression>

namespace
{
const qint64 MsPerSecond = 1000;
const qint64 MsPerDay = 86400 * MsPerSecond;

// Civil date <-> days since 1970-01-01 in the proleptic Gregorian calendar
// (the era-based algorithm: exact for every day, no tables).
qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(qint64 z, int *y, int *m, int *d)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    *d = int(doy - (153 * mp + 2) / 5 + 1);
    *m = int(mp < 10 ? mp + 3 : mp - 9);
    *y = int(yoe + era * 400 + (*m <= 2));
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
} // namespace

CUtcTime::Fields CUtcTime::fields(qint64 msSinceEpoch)
{
    Fields f;
    const qint64 days = floorDiv(msSinceEpoch, MsPerDay);
    qint64 rest = msSinceEpoch - days * MsPerDay;
    civilFromDays(days, &f.year, &f.month, &f.day);
    f.hour = int(rest / 3600000);
    rest %= 3600000;
    f.minute = int(rest / 60000);
    rest %= 60000;
    f.second = int(rest / MsPerSecond);
    f.millisecond = int(rest % MsPerSecond);
    return f;
}

qint64 CUtcTime::msSinceEpoch(const Fields &f)
{
    return daysFromCivil(f.year, f.month, f.day) * MsPerDay + f.hour * 3600000LL + f.minute * 60000LL +
           f.second * MsPerSecond + f.millisecond;
}

bool CUtcTime::parseIso(const QString &text, qint64 *msSinceEpoch)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d{1,3}))?Z?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return false;
    Fields f;
    f.year = match.captured(1).toInt();
    f.month = match.captured(2).toInt();
    f.day = match.captured(3).toInt();
    f.hour = match.captured(4).toInt();
    f.minute = match.captured(5).toInt();
    f.second = match.captured(6).toInt();
    const QString fraction = match.captured(7);
    f.millisecond = fraction.isEmpty() ? 0 : (fraction + QStringLiteral("00")).left(3).toInt();
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.hour > 23 || f.minute > 59 || f.second > 59)
        return false;
    const qint64 ms = CUtcTime::msSinceEpoch(f);
    // Rejects 2026-02-30 and the like: the day must survive the round trip.
    const Fields back = fields(ms);
    if (back.day != f.day || back.month != f.month)
        return false;
    *msSinceEpoch = ms;
    return true;
}

QByteArray CUtcTime::isoText(qint64 msSinceEpoch)
{
    const Fields f = fields(msSinceEpoch);
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", f.year, f.month, f.day, f.hour, f.minute,
                             f.second, f.millisecond)
        .toLatin1();
}
