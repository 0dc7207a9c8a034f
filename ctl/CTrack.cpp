#include "CTrack.h"

#include "logbook/ELogSubType.h"

#include <QDate>

#include <algorithm>

namespace
{
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;
const QDate kGpsEpoch(1980, 1, 6);

bool onTheGlobe(const CGpsPoint &fix)
{
    return fix.latitude >= -kMaxLatitude && fix.latitude <= kMaxLatitude && fix.longitude >= -kMaxLongitude &&
           fix.longitude < kMaxLongitude;
}

// Data lost and GPS off end a continuous stretch of track.
bool endsSegment(int subtype)
{
    return subtype == GPS_NoData || subtype == GPS_Disabled;
}
} // namespace

CTrack::CTrack(const QList<CLogbookLine> &lines)
{
    QList<CLogbookLine> ordered = lines;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const CLogbookLine &a, const CLogbookLine &b) { return a.stored < b.stored; });
    int segment = 0;
    bool broken = false;
    for (const CLogbookLine &line : qAsConst(ordered)) {
        if (!line.isTracking()) {
            if (!line.decoded || eventLabel(line.subtype).isEmpty())
                continue;
            m_events.append(Event{line.subtype, line.storedTime, -1});
            broken = broken || endsSegment(line.subtype);
            continue;
        }
        if (!line.decoded || !onTheGlobe(line.point)) {
            ++m_skipped;
            continue;
        }
        if (broken && !m_points.isEmpty())
            ++segment;
        broken = false;
        m_points.append(Point{line.point, line.storedTime, segment});
    }

    for (Event &event : m_events) {
        // Points are in storing order: the nearest is at the insertion place or just before it.
        const auto after = std::lower_bound(m_points.cbegin(), m_points.cend(), event.stored,
                                            [](const Point &p, const QDateTime &t) { return p.stored < t; });
        int best = int(after - m_points.cbegin());
        if (best == m_points.size() || (best > 0 && m_points.at(best - 1).stored.msecsTo(event.stored) <=
                                                        event.stored.msecsTo(m_points.at(best).stored)))
            --best;
        event.nearestPoint = best; // -1 when there are no points
    }
}

QString CTrack::eventLabel(int subtype)
{
    switch (subtype) {
    case GPS_NoData:
        return QStringLiteral("lost");
    case GPS_ValidData:
        return QStringLiteral("back");
    case GPS_Enabled:
        return QStringLiteral("on");
    case GPS_Disabled:
        return QStringLiteral("off");
    default:
        return QString();
    }
}

QDateTime CTrack::fixTime(const CGpsPoint &fix)
{
    if (!fix.dateTime.isValid() || fix.dateTime.date() < kGpsEpoch)
        return QDateTime();
    return fix.dateTime.toQDateTime().toUTC();
}

QPair<QDateTime, QDateTime> CTrack::timeSpan() const
{
    QPair<QDateTime, QDateTime> span;
    for (const Point &p : m_points) {
        const QDateTime t = fixTime(p.fix);
        if (!t.isValid())
            continue;
        if (!span.first.isValid() || t < span.first)
            span.first = t;
        if (!span.second.isValid() || t > span.second)
            span.second = t;
    }
    if (!span.first.isValid() && !m_points.isEmpty())
        span = qMakePair(m_points.first().stored, m_points.last().stored);
    return span;
}

bool CTrack::spanIsGpsTime() const
{
    return std::any_of(m_points.cbegin(), m_points.cend(),
                       [](const Point &p) { return fixTime(p.fix).isValid(); });
}
