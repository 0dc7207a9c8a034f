#include "CNmeaFix.h"

#include "CGeoMath.h"
#include "CUtcTime.h"

#include <cmath>

namespace
{
const double MpsToKnots = 3600.0 / 1852.0;
const int CentiDegPerCircle = 36000;
} // namespace

CNmeaFix CNmeaFix::fromState(qint64 utcMs, const CDriveSimulator::State &state, const CSkyModel::Sky &sky,
                             bool valid)
{
    CNmeaFix fix;
    fix.utcMs = utcMs;
    fix.valid = valid;
    fix.latUnits = std::llround(state.latDeg * LatLonUnitsPerDeg);
    fix.lonUnits = std::llround(state.lonDeg * LatLonUnitsPerDeg);
    fix.altitudeDm = std::llround(state.altitudeM * 10.0);
    fix.speedMilliKnots = std::llround(state.speedMps * MpsToKnots * 1000.0);
    fix.courseCentiDeg = int(std::llround(state.headingRad / CGeoMath::DegToRad * 100.0) % CentiDegPerCircle);
    fix.phase = CDriveRoute::phaseName(state.phase);
    if (valid) {
        fix.hdopCenti = int(std::lround(sky.hdop * 100.0));
        fix.vdopCenti = int(std::lround(sky.vdop * 100.0));
        fix.pdopCenti = int(std::lround(sky.pdop * 100.0));
        fix.inView = sky.inView;
    }
    return fix;
}

int CNmeaFix::usedCount() const
{
    int count = 0;
    for (const CSkyModel::Satellite &sat : inView)
        count += sat.used ? 1 : 0;
    return count;
}

QByteArray CNmeaFix::fixedText(qint64 units, int decimals)
{
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const qint64 magnitude = units < 0 ? -units : units;
    QByteArray text = units < 0 ? QByteArray("-") : QByteArray();
    text += QByteArray::number(magnitude / scale);
    if (decimals > 0)
        text += '.' + QByteArray::number(magnitude % scale).rightJustified(decimals, '0');
    return text;
}

QByteArray CNmeaFix::truthHeader()
{
    return "# utc\tlat_deg\tlon_deg\talt_m\tspeed_kmh\tcourse_deg\tfix\tsats\thdop\tphase\n";
}

QByteArray CNmeaFix::truthLine() const
{
    QByteArray line = CUtcTime::isoText(utcMs);
    line += '\t' + QByteArray::number(latitudeDeg(), 'f', 9);
    line += '\t' + QByteArray::number(longitudeDeg(), 'f', 9);
    line += '\t' + fixedText(altitudeDm, 1);
    line += '\t' + fixedText(speedMicroKmh(), 6);
    line += '\t' + fixedText(courseCentiDeg, 2);
    line += '\t' + QByteArray(valid ? "1" : "0");
    line += '\t' + QByteArray::number(usedCount());
    line += '\t' + fixedText(hdopCenti, 2);
    line += '\t' + QByteArray(phase) + '\n';
    return line;
}
