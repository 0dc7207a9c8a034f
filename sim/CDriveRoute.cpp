#include "CDriveRoute.h"

#include "CGeoMath.h"
#include "CRandom.h"

#include <cmath>
#include <iterator>

namespace
{
const double KmhToMps = 1.0 / 3.6;
// A loaded tank truck takes corners at about this lateral acceleration.
const double LateralAccelMps2 = 1.2;
// A corner's arc may use at most this share of each street next to it.
const double MaxCornerShare = 0.45;
const double MinTurnRad = 1e-6;

const double RedLightShare = 0.6;
const double RedLightMinS = 12.0;
const double RedLightMaxS = 45.0;
const double GateMinS = 4.0;
const double GateMaxS = 8.0;
const double UnloadSpreadS = 20.0;

const quint64 LightStream = 1;

// Depot in an industrial area on the south-west edge of the city.
const double DepotLatDeg = 48.0987125;
const double DepotLonDeg = 11.5029875;
} // namespace

// clang-format off
namespace {
using R = CDriveRoute;

// east m, north m, limit km/h and phase of the leg that ends here, corner
// radius m, stop, nominal standing time s
struct RouteRow {
    double e, n, lim; R::EPhase ph; double r; R::EStop st; double s;
};

// Depot -> town streets -> highway north-east -> three customers in the
// next town -> highway back -> town streets -> depot.
const RouteRow DeliveryRound[] = {
    {0, 0, 0, R::Depot, 0, R::DepotStop, 60},
    {60, 0, 10, R::Yard, 8, R::GateStop, 0},
    {60, 380, 50, R::Town, 12, R::LightStop, 0},
    {700, 380, 50, R::Town, 12, R::LightStop, 0},
    {700, 900, 50, R::Town, 12, R::NoStop, 0},
    {1100, 1250, 60, R::Town, 300, R::NoStop, 0},
    {2000, 2550, 90, R::Highway, 800, R::NoStop, 0},
    {3400, 4150, 90, R::Highway, 800, R::NoStop, 0},
    {4300, 5800, 90, R::Highway, 800, R::NoStop, 0},
    {4550, 6250, 60, R::Town, 40, R::LightStop, 0},
    {4550, 6600, 50, R::Town, 12, R::LightStop, 0},
    {5050, 6600, 50, R::Town, 12, R::UnloadStop, 240},
    {5050, 7050, 50, R::Town, 12, R::NoStop, 0},
    {4650, 7050, 50, R::Town, 12, R::UnloadStop, 180},
    {4150, 7050, 50, R::Town, 12, R::LightStop, 0},
    {4150, 6500, 50, R::Town, 12, R::UnloadStop, 210},
    {4150, 6150, 50, R::Town, 40, R::NoStop, 0},
    {4300, 5800, 60, R::Town, 60, R::NoStop, 0},
    {3400, 4150, 90, R::Highway, 800, R::NoStop, 0},
    {2000, 2550, 90, R::Highway, 800, R::NoStop, 0},
    {1100, 1250, 90, R::Highway, 300, R::NoStop, 0},
    {700, 900, 60, R::Town, 12, R::LightStop, 0},
    {700, 380, 50, R::Town, 12, R::LightStop, 0},
    {60, 380, 50, R::Town, 12, R::LightStop, 0},
    {60, 0, 50, R::Town, 8, R::GateStop, 0},
    {0, 0, 10, R::Yard, 0, R::DepotStop, 60},
};

// Depot -> one customer a few blocks away -> depot; no highway.
const RouteRow TownRound[] = {
    {0, 0, 0, R::Depot, 0, R::DepotStop, 60},
    {60, 0, 10, R::Yard, 8, R::GateStop, 0},
    {60, 380, 50, R::Town, 12, R::LightStop, 0},
    {700, 380, 50, R::Town, 12, R::NoStop, 0},
    {700, 900, 50, R::Town, 12, R::UnloadStop, 200},
    {60, 900, 50, R::Town, 12, R::LightStop, 0},
    {60, 380, 50, R::Town, 12, R::LightStop, 0},
    {60, 0, 50, R::Town, 8, R::GateStop, 0},
    {0, 0, 10, R::Yard, 0, R::DepotStop, 60},
};
} // namespace
// clang-format on

QStringList CDriveRoute::names()
{
    return {QStringLiteral("delivery"), QStringLiteral("town")};
}

QString CDriveRoute::defaultName()
{
    return QStringLiteral("delivery");
}

bool CDriveRoute::create(const QString &name, quint64 seed, CDriveRoute *route)
{
    QVector<Waypoint> points;
    auto take = [&points](const RouteRow *rows, int count) {
        for (int i = 0; i < count; ++i)
            points.append({rows[i].e, rows[i].n, rows[i].lim, rows[i].ph, rows[i].r, rows[i].st, rows[i].s});
    };
    if (name == QLatin1String("delivery"))
        take(DeliveryRound, int(std::size(DeliveryRound)));
    else if (name == QLatin1String("town"))
        take(TownRound, int(std::size(TownRound)));
    else
        return false;
    *route = CDriveRoute();
    route->build(points.constData(), points.size(), seed);
    return true;
}

const char *CDriveRoute::phaseName(EPhase phase)
{
    switch (phase) {
    case Depot:
        return "depot";
    case Yard:
        return "yard";
    case Town:
        return "town";
    case Highway:
        return "highway";
    case Light:
        return "light";
    case Unload:
        return "unload";
    }
    return "town";
}

void CDriveRoute::build(const Waypoint *points, int count, quint64 seed)
{
    m_depotLatDeg = DepotLatDeg;
    m_depotLonDeg = DepotLonDeg;
    CRandom random(seed, LightStream);

    const int legs = count - 1;
    QVector<double> heading(legs), legLength(legs);
    for (int i = 0; i < legs; ++i) {
        const double de = points[i + 1].east - points[i].east;
        const double dn = points[i + 1].north - points[i].north;
        heading[i] = CGeoMath::normalize(std::atan2(de, dn));
        legLength[i] = std::hypot(de, dn);
    }
    // Corner j joins leg j-1 and leg j; its arc starts `tangent` before the
    // corner point and ends as far after it.
    QVector<double> turn(count, 0.0), radius(count, 0.0), tangent(count, 0.0);
    for (int j = 1; j < count - 1; ++j) {
        turn[j] = CGeoMath::wrap(heading[j] - heading[j - 1]);
        if (std::fabs(turn[j]) < MinTurnRad)
            continue;
        const double halfTan = std::tan(std::fabs(turn[j]) / 2.0);
        const double room = MaxCornerShare * std::min(legLength[j - 1], legLength[j]);
        radius[j] = std::min(points[j].radiusM, room / halfTan);
        tangent[j] = radius[j] * halfTan;
    }

    auto addStop = [this, &random](const Waypoint &point, double atS) {
        Stop stop;
        stop.atS = atS;
        switch (point.stop) {
        case NoStop:
            return;
        case LightStop:
            if (random.uniform() >= RedLightShare)
                return;
            stop.seconds = random.uniform(RedLightMinS, RedLightMaxS);
            stop.phase = Light;
            break;
        case GateStop:
            stop.seconds = random.uniform(GateMinS, GateMaxS);
            stop.phase = Yard;
            break;
        case UnloadStop:
            stop.seconds = point.stopSeconds + random.uniform(-UnloadSpreadS, UnloadSpreadS);
            stop.phase = Unload;
            break;
        case DepotStop:
            stop.seconds = point.stopSeconds;
            stop.phase = Depot;
            break;
        }
        m_stops.append(stop);
    };

    double s = 0.0;
    addStop(points[0], s);
    for (int i = 0; i < legs; ++i) {
        const Waypoint &end = points[i + 1];
        Piece straight;
        straight.startS = s;
        straight.length = legLength[i] - tangent[i] - tangent[i + 1];
        straight.startHeading = heading[i];
        straight.limitMps = end.limitKmh * KmhToMps;
        straight.phase = end.phase;
        if (straight.length > 0.0) {
            m_pieces.append(straight);
            s += straight.length;
        }
        // The truck waits before it turns: at a red light, at the gate or
        // in front of the customer.
        addStop(end, s);
        if (tangent[i + 1] > 0.0) {
            const Waypoint &next = points[i + 2];
            Piece arc;
            arc.startS = s;
            arc.length = radius[i + 1] * std::fabs(turn[i + 1]);
            arc.startHeading = heading[i];
            arc.curvature = turn[i + 1] / arc.length;
            arc.limitMps = std::min({end.limitKmh * KmhToMps, next.limitKmh * KmhToMps,
                                     std::sqrt(LateralAccelMps2 * radius[i + 1])});
            arc.phase = next.phase;
            m_pieces.append(arc);
            s += arc.length;
        }
    }
    m_length = s;
}

int CDriveRoute::pieceAt(double s, int hint) const
{
    int index = qBound(0, hint, int(m_pieces.size()) - 1);
    while (index > 0 && s < m_pieces[index].startS)
        --index;
    while (index + 1 < m_pieces.size() && s >= m_pieces[index + 1].startS)
        ++index;
    return index;
}

double CDriveRoute::headingAt(double s, int hint) const
{
    const Piece &piece = m_pieces[pieceAt(s, hint)];
    const double into = qBound(0.0, s - piece.startS, piece.length);
    return CGeoMath::normalize(piece.startHeading + piece.curvature * into);
}
