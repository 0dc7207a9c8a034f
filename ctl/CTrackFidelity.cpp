#include "CTrackFidelity.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
// The radius the daemon measures track distances with.
constexpr double kEarthRadiusM = 6378137.0;
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Xy {
    double x;
    double y;
};

// Metres east and north of origin.
Xy project(const CTrackFidelity::Position &p, const CTrackFidelity::Position &origin, double cosLat)
{
    double dLon = p.longitude - origin.longitude;
    if (dLon > 180.0)
        dLon -= 360.0;
    else if (dLon < -180.0)
        dLon += 360.0;
    return {dLon * kDegToRad * cosLat * kEarthRadiusM,
            (p.latitude - origin.latitude) * kDegToRad * kEarthRadiusM};
}

// Distance from the origin (0, 0) to the segment a-b.
double distanceToSegment(const Xy &a, const Xy &b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared > 0.0 ? -(a.x * dx + a.y * dy) / lengthSquared : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(a.x + t * dx, a.y + t * dy);
}
} // namespace

double CTrackFidelity::distanceToTrack(const Position &position, const QVector<Position> &track)
{
    if (track.isEmpty())
        return kNaN;
    const double cosLat = std::cos(position.latitude * kDegToRad);
    Xy previous = project(track.first(), position, cosLat);
    double best = std::hypot(previous.x, previous.y);
    for (int i = 1; i < track.size(); ++i) {
        const Xy next = project(track[i], position, cosLat);
        best = std::min(best, distanceToSegment(previous, next));
        previous = next;
    }
    return best;
}

CTrackFidelity::Summary CTrackFidelity::measure(const QVector<Position> &truth,
                                                const QVector<Position> &track)
{
    Summary summary;
    summary.positions = truth.size();
    QVector<double> distances;
    distances.reserve(truth.size());
    for (const Position &p : truth)
        distances.append(distanceToTrack(p, track));
    summary.maxMetres = track.isEmpty() || distances.isEmpty()
                            ? kNaN
                            : *std::max_element(distances.cbegin(), distances.cend());
    summary.p95Metres = track.isEmpty() ? kNaN : percentile(distances, 0.95);
    return summary;
}

QVector<CTrackFidelity::Position> CTrackFidelity::alongRoute(const QVector<Position> &truth,
                                                             double stepMetres)
{
    QVector<Position> route;
    if (truth.isEmpty() || !(stepMetres > 0.0))
        return truth;
    route.append(truth.first());
    double untilNext = stepMetres; // along the route from the last position taken
    for (int i = 1; i < truth.size(); ++i) {
        const Position &a = truth[i - 1];
        const Position &b = truth[i];
        const Xy ab = project(b, a, std::cos(a.latitude * kDegToRad));
        const double length = std::hypot(ab.x, ab.y);
        double at = untilNext;
        for (; at <= length; at += stepMetres) {
            const double share = at / length;
            route.append({a.latitude + (b.latitude - a.latitude) * share,
                          a.longitude + (b.longitude - a.longitude) * share});
        }
        untilNext = at - length;
    }
    const Position &last = truth.last();
    if (route.last().latitude != last.latitude || route.last().longitude != last.longitude)
        route.append(last);
    return route;
}

double CTrackFidelity::percentile(QVector<double> values, double share)
{
    if (values.isEmpty())
        return kNaN;
    std::sort(values.begin(), values.end());
    const int rank = int(std::ceil(share * values.size()));
    return values[std::clamp(rank, 1, int(values.size())) - 1];
}
