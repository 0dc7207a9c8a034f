#ifndef CDATETIME_H
#define CDATETIME_H

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QtGlobal>

class QDataStream;

// A date-time as the records of the truck system carry it: the Julian day,
// the milliseconds of the day and a time-spec byte that says how the value
// was made. The readers on the fleet decode the byte, and Qt 5 can no longer
// produce every value of it (it forgot the standard/daylight-saving
// distinction of local values), so the records keep it here explicitly.
//
// Dates before 1582-10-15 count in the Julian calendar, as the readers do:
// 0001-01-01 is Julian day 1721424.
class CDateTime
{
public:
    enum Spec : quint8 {
        LocalUnknown = 0xFF,  // built from date and time fields
        LocalStandard = 0x00, // built from an instant, outside daylight saving
        LocalDST = 0x01,      // built from an instant, inside daylight saving
        Utc = 0x02,
    };

    // Null: Julian day 0, no time, LocalUnknown.
    CDateTime() = default;

    // Local value from calendar fields; a date alone means midnight.
    static CDateTime fromDate(const QDate &date);
    static CDateTime fromDateTime(const QDate &date, const QTime &time);
    // Local value of an instant (seconds or milliseconds since 1970 UTC),
    // broken down in the process's time zone.
    static CDateTime fromTimeT(qint64 secs);
    static CDateTime fromMSecsSinceEpoch(qint64 msecs);
    static CDateTime currentDateTime();
    // UTC value from UTC calendar fields.
    static CDateTime fromUtc(const QDate &date, const QTime &time);
    // Raw fields as they travel; used by the stream reader.
    static CDateTime fromRaw(quint32 julianDay, quint32 msecsOfDay, quint8 spec);

    quint32 julianDay() const { return m_julianDay; }
    quint32 msecsOfDay() const { return m_msecs; }
    quint8 spec() const { return m_spec; }

    QDate date() const;
    QTime time() const;
    bool isNull() const { return m_julianDay == 0 && m_msecs == kNullTime; }
    bool isValid() const { return date().isValid() && time().isValid(); }
    bool isUtc() const { return m_spec == Utc; }

    // Instant of the value; local fields are read in the process's time zone.
    qint64 toMSecsSinceEpoch() const;
    qint64 toTimeT() const { return toMSecsSinceEpoch() / 1000; }
    QDateTime toQDateTime() const;

    // Formats the calendar fields with QDate/QTime format strings.
    QString toString(const QString &format) const;
    // The text date form, "Sat Jan 1 00:00:00 1"; empty when not valid.
    QString toTextDate() const;

    // Equal when the fields and spec match, or else when both name the same instant.
    bool operator==(const CDateTime &other) const;
    bool operator!=(const CDateTime &other) const { return !(*this == other); }

    static quint32 julianDayFromDate(const QDate &date);
    static QDate dateFromJulianDay(quint32 julianDay);

private:
    static constexpr quint32 kNullTime = 0xFFFFFFFFu;

    quint32 m_julianDay = 0;
    quint32 m_msecs = kNullTime;
    quint8 m_spec = LocalUnknown;
};

// 9 bytes: Julian day (quint32), milliseconds of the day (quint32), spec byte.
QDataStream &operator<<(QDataStream &out, const CDateTime &value);
QDataStream &operator>>(QDataStream &in, CDateTime &value);

#endif // CDATETIME_H
