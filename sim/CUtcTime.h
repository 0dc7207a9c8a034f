#ifndef CUTCTIME_H
#define CUTCTIME_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// UTC calendar arithmetic on milliseconds since 1970 without time zones or
// Qt's date classes, so that the output cannot depend on the host's zone.
class CUtcTime
{
public:
    struct Fields {
        int year = 1970;
        int month = 1; // 1..12
        int day = 1;
        int hour = 0;
        int minute = 0;
        int second = 0;
        int millisecond = 0;
    };

    static Fields fields(qint64 msSinceEpoch);
    static qint64 msSinceEpoch(const Fields &f);
    // "YYYY-MM-DDThh:mm:ss[.f]Z" (the Z may be left out; the text is UTC
    // either way). False on anything else or on an impossible date.
    static bool parseIso(const QString &text, qint64 *msSinceEpoch);
    // "YYYY-MM-DDThh:mm:ss.mmmZ"
    static QByteArray isoText(qint64 msSinceEpoch);
};

#endif // CUTCTIME_H
