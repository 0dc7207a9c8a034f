#include "CDriveSimulator.h"

#include "CGeoMath.h"

#include <cmath>

namespace
{
const double StepS = CDriveSimulator::StepMs / 1000.0;
const quint64 DriverStream = 2;

// Loaded tank truck: strong at walking pace, weak at highway speed.
const double AccelAtRestMps2 = 0.8;
const double AccelLossPerMps = 0.022;
const double MinAccelMps2 = 0.2;
// The driver plans to brake gently but can brake harder when needed.
const double PlannedBrakeMps2 = 0.9;
const double MaxBrakeMps2 = 2.0;
const double LookAheadM = 1200.0;

// Cruising speed as a share of the limit, wandering slowly around a base.
const double CruiseBase = 0.95;
const double CruiseSigma = 0.02;
const double CruiseMax = 0.045;
const double CruiseTauS = 25.0;

// Gently rolling terrain around 520 m, and a receiver's slow height error.
const double TerrainBaseM = 519.0;
const double AltitudeNoiseSigmaM = 0.7;
const double AltitudeNoiseTauS = 20.0;

double ornsteinUhlenbeck(double value, double sigma, double tauS, double normal)
{
    return value - value * StepS / tauS + sigma * std::sqrt(2.0 * StepS / tauS) * normal;
}
} // namespace

CDriveSimulator::CDriveSimulator(const CDriveRoute &route, quint64 seed)
    : m_route(route), m_random(seed, DriverStream)
{
    m_latRad = route.depotLatDeg() * CGeoMath::DegToRad;
    m_lonRad = route.depotLonDeg() * CGeoMath::DegToRad;
    m_state.latDeg = route.depotLatDeg();
    m_state.lonDeg = route.depotLonDeg();
    m_state.headingRad = route.pieces().isEmpty() ? 0.0 : route.pieces().first().startHeading;
    m_state.altitudeM = terrainAltitude();
    if (!route.stops().isEmpty() && route.stops().first().atS <= 0.0) {
        m_standing = true;
        m_standLeftMs = qint64(std::llround(route.stops().first().seconds * 1000.0));
        m_state.phase = route.stops().first().phase;
    }
}

double CDriveSimulator::allowedSpeed() const
{
    const QVector<CDriveRoute::Piece> &pieces = m_route.pieces();
    const CDriveRoute::Piece &piece = pieces[m_piece];
    double allowed = piece.curvature != 0.0 ? piece.limitMps : piece.limitMps * (CruiseBase + m_cruise);
    for (int k = m_piece + 1; k < pieces.size() && pieces[k].startS - m_s < LookAheadM; ++k) {
        const double d = pieces[k].startS - m_s;
        const double v = pieces[k].limitMps;
        allowed = std::min(allowed, std::sqrt(v * v + 2.0 * PlannedBrakeMps2 * d));
    }
    if (m_nextStop < m_route.stops().size()) {
        const double d = std::max(0.0, m_route.stops()[m_nextStop].atS - m_s);
        allowed = std::min(allowed, std::sqrt(2.0 * PlannedBrakeMps2 * d));
    }
    return allowed;
}

double CDriveSimulator::terrainAltitude() const
{
    const double northM =
        (m_state.latDeg - m_route.depotLatDeg()) * CGeoMath::DegToRad * CGeoMath::EarthRadiusM;
    const double eastM = (m_state.lonDeg - m_route.depotLonDeg()) * CGeoMath::DegToRad *
                         CGeoMath::EarthRadiusM * std::cos(m_route.depotLatDeg() * CGeoMath::DegToRad);
    return TerrainBaseM + 6.0 * std::sin(eastM / 900.0 + 0.3) + 4.0 * std::sin(northM / 1400.0 + 0.7) +
           0.0012 * northM + m_altitudeNoise;
}

void CDriveSimulator::step()
{
    if (m_finished)
        return;
    // Same number of draws in every step keeps the stream aligned.
    m_cruise = qBound(-CruiseMax, ornsteinUhlenbeck(m_cruise, CruiseSigma, CruiseTauS, m_random.normal()),
                      CruiseMax);
    m_altitudeNoise =
        ornsteinUhlenbeck(m_altitudeNoise, AltitudeNoiseSigmaM, AltitudeNoiseTauS, m_random.normal());
    m_state.timeMs += StepMs;

    if (m_standing) {
        m_standLeftMs -= StepMs;
        if (m_standLeftMs <= 0) {
            m_standing = false;
            ++m_nextStop;
            if (m_nextStop >= m_route.stops().size() || m_route.pieces().isEmpty())
                m_finished = true;
        }
        m_state.altitudeM = terrainAltitude();
        if (!m_standing && !m_finished)
            m_state.phase = m_route.pieces()[m_piece].phase;
        return;
    }

    const double v0 = m_state.speedMps;
    const double allowed = allowedSpeed();
    double v1;
    if (allowed > v0)
        v1 = std::min(allowed, v0 + std::max(MinAccelMps2, AccelAtRestMps2 - AccelLossPerMps * v0) * StepS);
    else
        v1 = std::max(allowed, v0 - MaxBrakeMps2 * StepS);
    double ds = 0.5 * (v0 + v1) * StepS;

    bool arrived = false;
    if (m_nextStop < m_route.stops().size()) {
        const CDriveRoute::Stop &stop = m_route.stops()[m_nextStop];
        if (m_s + ds >= stop.atS) {
            ds = std::max(0.0, stop.atS - m_s);
            arrived = true;
        }
    }

    const double midHeading = m_route.headingAt(m_s + ds / 2.0, m_piece);
    CGeoMath::move(&m_latRad, &m_lonRad, midHeading, ds);
    m_s += ds;
    m_piece = m_route.pieceAt(m_s, m_piece);
    m_state.latDeg = m_latRad / CGeoMath::DegToRad;
    m_state.lonDeg = m_lonRad / CGeoMath::DegToRad;
    m_state.headingRad = m_route.headingAt(m_s, m_piece);
    m_state.altitudeM = terrainAltitude();
    m_state.speedMps = arrived ? 0.0 : v1;
    m_state.phase = m_route.pieces()[m_piece].phase;
    if (arrived) {
        const CDriveRoute::Stop &stop = m_route.stops()[m_nextStop];
        m_standing = true;
        m_standLeftMs = qint64(std::llround(stop.seconds * 1000.0));
        m_state.phase = stop.phase;
    }
}
