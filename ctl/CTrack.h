#ifndef CTRACK_H
#define CTRACK_H

#include "CLogbookLine.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

// The stored track for export: the track points of the tracking logbook in
// the order they were stored, cut into segments where GPS data were lost or
// GPS was switched off, and the GPS events of the GPS logbook placed at the
// track point nearest to them in time (events carry no position).
//
// Events and points are matched by the time the data service stored them:
// both come from the same clock, unlike GPS time and the board's clock.
class CTrack
{
public:
    struct Point {
        CGpsPoint fix;
        QDateTime stored; // UTC
        int segment = 0;
    };
    struct Event {
        int subtype = 0;
        QDateTime stored;      // UTC
        int nearestPoint = -1; // index into points(), -1 when the track is empty
    };

    // lines: both logbook tables, any order.
    explicit CTrack(const QList<CLogbookLine> &lines);

    const QList<Point> &points() const { return m_points; }
    const QList<Event> &events() const { return m_events; }
    int segmentCount() const { return m_points.isEmpty() ? 0 : m_points.last().segment + 1; }
    // Track entries left out: not decodable, or a position outside the globe.
    int skipped() const { return m_skipped; }

    // "lost", "back", "on", "off"; empty for entries that are no GPS event.
    static QString eventLabel(int subtype);
    // The fix's instant in UTC; invalid when the fix has no usable time
    // (none before the GPS epoch, such as a reset point's 0001-01-01).
    static QDateTime fixTime(const CGpsPoint &fix);
    // Time span of the track in UTC: by the fixes' GPS time where they have
    // one, else by the storing times. Invalid when the track is empty.
    QDateTime firstTime() const { return timeSpan().first; }
    QDateTime lastTime() const { return timeSpan().second; }
    bool spanIsGpsTime() const;

private:
    QPair<QDateTime, QDateTime> timeSpan() const;

    QList<Point> m_points;
    QList<Event> m_events;
    int m_skipped = 0;
};

#endif // CTRACK_H
