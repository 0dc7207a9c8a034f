#include "CSkyModel.h"

#include "CGeoMath.h"
#include "CRandom.h"

#include <algorithm>
#include <cmath>

namespace
{
const int HighestPrn = 32;
const double EarthRotationRadPerS = 7.2921151467e-5;
const double EarthRadiusKm = 6371.0;

const double InViewMaskDeg = 5.0;
const double UseMaskDeg = 10.0;
const double MinUsedSnr = 25.0;
const int MinUsed = 5;
const double TrackMaskDeg = 12.0; // hidden satellites below this are lost altogether
const double SecondBandLossDb = 4.0;
const quint64 SecondBandKey = 100000;

// Buildings: across a town street up to this elevation, behind the depot
// hall (south-west) up to that one.
const double StreetWallDeg = 25.0;
const double StreetAcrossShare = 0.7;
const double HallWallDeg = 30.0;
const double HallFromDeg = 160.0;
const double HallToDeg = 260.0;

const double NoDop = 99.99;
} // namespace

struct CSkyModel::Constellation {
    CReceiverProfile::ESystem system;
    quint64 stream;
    int planes;
    int perPlane;
    int firstPrn; // the satellites take numbers drawn from firstPrn..lastPrn
    int lastPrn;
    double inclinationDeg;
    double orbitRadiusKm;
    double periodS;
    double secondBandShare; // of the satellites that send on the second band
};

namespace
{
// Walker constellations close to the real ones: GPS, GLONASS (slots 1-24
// numbered 65-88), Galileo (1-36) and BeiDou's medium orbits (19-46).
const CSkyModel::Constellation Constellations[] = {
    {CReceiverProfile::Gps, 3, 6, 5, 1, HighestPrn, 55.0, 26560.0, 43082.0, 0.7},
    {CReceiverProfile::Glonass, 31, 3, 8, 65, 88, 64.8, 25510.0, 40544.0, 1.0},
    {CReceiverProfile::Galileo, 32, 3, 8, 1, 36, 56.0, 29600.0, 50680.0, 1.0},
    {CReceiverProfile::Beidou, 33, 3, 8, 19, 46, 55.0, 27906.0, 46404.0, 0.6},
};

const CSkyModel::Constellation *constellations(int *count)
{
    *count = int(sizeof Constellations / sizeof Constellations[0]);
    return Constellations;
}
} // namespace

CSkyModel::CSkyModel(double latDeg, double lonDeg, quint64 seed, int systems)
    : m_latRad(latDeg * CGeoMath::DegToRad), m_lonRad(lonDeg * CGeoMath::DegToRad), m_seed(seed)
{
    int count = 0;
    const Constellation *all = constellations(&count);
    for (int i = 0; i < count; ++i)
        if (systems & (1 << all[i].system))
            addConstellation(all[i]);
    std::sort(m_orbits.begin(), m_orbits.end(), [](const Orbit &a, const Orbit &b) {
        return a.constellation->system != b.constellation->system
                   ? a.constellation->system < b.constellation->system
                   : a.prn < b.prn;
    });
}

void CSkyModel::addConstellation(const Constellation &constellation)
{
    CRandom random(m_seed, constellation.stream);
    QVector<int> prns;
    for (int prn = constellation.firstPrn; prn <= constellation.lastPrn; ++prn)
        prns.append(prn);
    for (int i = prns.size() - 1; i > 0; --i)
        std::swap(prns[i], prns[int(random.next() % quint64(i + 1))]);

    // Where the planes lie and where in them the satellites are when the
    // round starts: the time of day, in effect.
    const double nodeOffset = random.uniform(0.0, CGeoMath::TwoPi);
    for (int plane = 0; plane < constellation.planes; ++plane) {
        for (int slot = 0; slot < constellation.perPlane; ++slot) {
            Orbit orbit;
            orbit.constellation = &constellation;
            orbit.prn = prns[plane * constellation.perPlane + slot];
            orbit.ascendingNodeRad = nodeOffset + plane * CGeoMath::TwoPi / constellation.planes;
            orbit.phaseRad =
                slot * CGeoMath::TwoPi / constellation.perPlane + plane * 0.21 + random.uniform(-0.2, 0.2);
            m_orbits.append(orbit);
        }
    }
}

bool CSkyModel::blocked(double elevationDeg, double azimuthDeg, double headingRad,
                        CDriveRoute::EPhase phase) const
{
    switch (phase) {
    case CDriveRoute::Highway:
        return false;
    case CDriveRoute::Depot:
    case CDriveRoute::Yard:
        return elevationDeg < HallWallDeg && azimuthDeg >= HallFromDeg && azimuthDeg <= HallToDeg;
    case CDriveRoute::Town:
    case CDriveRoute::Light:
    case CDriveRoute::Unload:
        break;
    }
    const double across = std::fabs(std::sin(azimuthDeg * CGeoMath::DegToRad - headingRad));
    return elevationDeg < StreetWallDeg && across > StreetAcrossShare;
}

CSkyModel::Sky CSkyModel::at(qint64 timeMs, double headingRad, CDriveRoute::EPhase phase) const
{
    const double t = timeMs / 1000.0;
    const qint64 second = timeMs / 1000;
    const double earthAngle = EarthRotationRadPerS * t;
    const double sinLat = std::sin(m_latRad), cosLat = std::cos(m_latRad);
    const double sinLon = std::sin(m_lonRad), cosLon = std::cos(m_lonRad);
    const double ox = EarthRadiusKm * cosLat * cosLon, oy = EarthRadiusKm * cosLat * sinLon,
                 oz = EarthRadiusKm * sinLat;

    Sky sky;
    QVector<int> open, hidden; // indices into inView
    QVector<bool> secondBand;  // per satellite in view: sends on the second band
    for (const Orbit &orbit : m_orbits) {
        const Constellation &c = *orbit.constellation;
        const double inclinationRad = c.inclinationDeg * CGeoMath::DegToRad;
        const double u = orbit.phaseRad + CGeoMath::TwoPi * t / c.periodS;
        const double node = orbit.ascendingNodeRad;
        const double xi = c.orbitRadiusKm * (std::cos(node) * std::cos(u) -
                                             std::sin(node) * std::sin(u) * std::cos(inclinationRad));
        const double yi = c.orbitRadiusKm * (std::sin(node) * std::cos(u) +
                                             std::cos(node) * std::sin(u) * std::cos(inclinationRad));
        const double zi = c.orbitRadiusKm * std::sin(u) * std::sin(inclinationRad);
        // Into the Earth-fixed frame, then east/north/up at the observer.
        const double dx = xi * std::cos(earthAngle) + yi * std::sin(earthAngle) - ox;
        const double dy = -xi * std::sin(earthAngle) + yi * std::cos(earthAngle) - oy;
        const double dz = zi - oz;
        const double east = -sinLon * dx + cosLon * dy;
        const double north = -sinLat * cosLon * dx - sinLat * sinLon * dy + cosLat * dz;
        const double up = cosLat * cosLon * dx + cosLat * sinLon * dy + sinLat * dz;
        const double elevation = std::atan2(up, std::hypot(east, north)) / CGeoMath::DegToRad;
        if (elevation < InViewMaskDeg)
            continue;

        Satellite sat;
        sat.prn = orbit.prn;
        sat.system = c.system;
        sat.elevationDeg = int(std::lround(elevation));
        sat.azimuthDeg =
            int(std::lround(CGeoMath::normalize(std::atan2(east, north)) / CGeoMath::DegToRad)) % 360;
        // GPS satellites keep the keys they had before other systems came in.
        const quint64 key = quint64(c.system) * 1000 + quint64(orbit.prn);
        const double noise = CRandom::hashUniform(m_seed, key, quint64(second));
        const double sinEl = std::sin(sat.elevationDeg * CGeoMath::DegToRad);
        if (blocked(sat.elevationDeg, sat.azimuthDeg, headingRad, phase)) {
            sat.snr = sat.elevationDeg < TrackMaskDeg ? 0 : 12 + int(noise * 8.0);
            hidden.append(sky.inView.size());
        } else {
            sat.snr = int(std::lround(20.0 + 25.0 * std::sqrt(sinEl) + noise * 6.0 - 3.0));
            if (sat.elevationDeg >= UseMaskDeg && sat.snr >= MinUsedSnr)
                open.append(sky.inView.size());
        }
        sky.inView.append(sat);
        secondBand.append(CRandom::hashUniform(m_seed, key + SecondBandKey, 0) < c.secondBandShare);
    }

    // Highest first; when the street hides too much, the receiver still
    // works the strongest reflections of the hidden ones.
    auto higher = [&sky](int a, int b) {
        if (sky.inView[a].elevationDeg != sky.inView[b].elevationDeg)
            return sky.inView[a].elevationDeg > sky.inView[b].elevationDeg;
        if (sky.inView[a].system != sky.inView[b].system)
            return sky.inView[a].system < sky.inView[b].system;
        return sky.inView[a].prn < sky.inView[b].prn;
    };
    std::sort(open.begin(), open.end(), higher);
    std::sort(hidden.begin(), hidden.end(), higher);
    QVector<int> chosen;
    int perSystem[CReceiverProfile::SystemCount] = {};
    for (int index : open)
        if (perSystem[sky.inView[index].system]++ < MaxUsed)
            chosen.append(index);
    for (int i = 0; chosen.size() < MinUsed && i < hidden.size(); ++i) {
        Satellite &sat = sky.inView[hidden[i]];
        sat.snr = std::max(sat.snr, int(MinUsedSnr));
        chosen.append(hidden[i]);
    }
    for (int i = 0; i < sky.inView.size(); ++i)
        if (secondBand[i] && sky.inView[i].snr > 0)
            sky.inView[i].snr2 = std::max(1, sky.inView[i].snr - int(SecondBandLossDb));
    QVector<Satellite> used;
    for (int index : chosen) {
        sky.inView[index].used = true;
        used.append(sky.inView[index]);
    }
    sky.usedCount = used.size();
    if (!dilution(used, &sky.hdop, &sky.vdop, &sky.pdop))
        sky.hdop = sky.vdop = sky.pdop = NoDop;
    return sky;
}

bool CSkyModel::dilution(const QVector<Satellite> &used, double *hdop, double *vdop, double *pdop)
{
    const int n = used.size();
    if (n < 4)
        return false;
    // Normal matrix of the line-of-sight rows (east, north, up, clock),
    // inverted by Gauss-Jordan elimination with pivoting.
    double a[4][8] = {};
    for (const Satellite &sat : used) {
        const double el = sat.elevationDeg * CGeoMath::DegToRad;
        const double az = sat.azimuthDeg * CGeoMath::DegToRad;
        const double row[4] = {-std::cos(el) * std::sin(az), -std::cos(el) * std::cos(az), -std::sin(el),
                               1.0};
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                a[i][j] += row[i] * row[j];
    }
    for (int i = 0; i < 4; ++i)
        a[i][4 + i] = 1.0;
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (std::fabs(a[pivot][col]) < 1e-9)
            return false;
        for (int c = 0; c < 8; ++c)
            std::swap(a[col][c], a[pivot][c]);
        const double p = a[col][col];
        for (int c = 0; c < 8; ++c)
            a[col][c] /= p;
        for (int r = 0; r < 4; ++r) {
            if (r == col)
                continue;
            const double f = a[r][col];
            for (int c = 0; c < 8; ++c)
                a[r][c] -= f * a[col][c];
        }
    }
    const double qe = a[0][4], qn = a[1][5], qu = a[2][6];
    if (qe < 0.0 || qn < 0.0 || qu < 0.0)
        return false;
    *hdop = std::sqrt(qe + qn);
    *vdop = std::sqrt(qu);
    *pdop = std::sqrt(qe + qn + qu);
    return true;
}
