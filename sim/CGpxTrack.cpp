#include "CGpxTrack.h"

#include "CGeoMath.h"
#include "CUtcTime.h"

#include <QDateTime>
#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace
{
const qint64 MsPerSecond = 1000;
const double MpsToKmh = 3.6;
// A segment shorter than this is standing: GPS noise, no direction.
const double StandingM = 0.5;
// RMC carries a two-digit year; readers place it in 1980..2079.
const int FirstYear = 1980;
const int LastYear = 2079;

double distanceM(double lat1Deg, double lon1Deg, double lat2Deg, double lon2Deg)
{
    const double lat1 = lat1Deg * CGeoMath::DegToRad;
    const double lat2 = lat2Deg * CGeoMath::DegToRad;
    const double sinLat = std::sin((lat2 - lat1) / 2.0);
    const double sinLon = std::sin((lon2Deg - lon1Deg) * CGeoMath::DegToRad / 2.0);
    const double a = sinLat * sinLat + std::cos(lat1) * std::cos(lat2) * sinLon * sinLon;
    return 2.0 * CGeoMath::EarthRadiusM * std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
}

double bearingRad(double lat1Deg, double lon1Deg, double lat2Deg, double lon2Deg)
{
    const double lat1 = lat1Deg * CGeoMath::DegToRad;
    const double lat2 = lat2Deg * CGeoMath::DegToRad;
    const double dLon = (lon2Deg - lon1Deg) * CGeoMath::DegToRad;
    return CGeoMath::normalize(
        std::atan2(std::sin(dLon) * std::cos(lat2),
                   std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dLon)));
}

// GPX times are UTC with a Z; a logger may write a zone offset instead.
bool parseTime(const QString &text, qint64 *utcMs)
{
    if (CUtcTime::parseIso(text, utcMs))
        return true;
    const QDateTime time = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    if (!time.isValid() || time.timeSpec() == Qt::LocalTime)
        return false;
    *utcMs = time.toMSecsSinceEpoch();
    return true;
}
} // namespace

bool CGpxTrack::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return read(&file, path, error);
}

bool CGpxTrack::read(QIODevice *device, const QString &name, QString *error)
{
    m_points.clear();
    auto fail = [&](int line, const QString &message) {
        *error = line > 0 ? QStringLiteral("%1, line %2: %3").arg(name).arg(line).arg(message)
                          : QStringLiteral("%1: %2").arg(name, message);
        m_points.clear();
        return false;
    };

    QXmlStreamReader xml(device);
    bool newSegment = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("trkseg"))
            newSegment = !m_points.isEmpty();
        if (!xml.isStartElement() || xml.name() != QLatin1String("trkpt"))
            continue;
        Point point;
        point.line = int(xml.lineNumber());
        point.segmentStart = newSegment;
        newSegment = false;
        bool latOk = false;
        bool lonOk = false;
        point.latDeg = xml.attributes().value(QLatin1String("lat")).toDouble(&latOk);
        point.lonDeg = xml.attributes().value(QLatin1String("lon")).toDouble(&lonOk);
        if (!latOk || !lonOk || std::fabs(point.latDeg) > 90.0 || std::fabs(point.lonDeg) > 180.0)
            return fail(point.line, QStringLiteral("track point without a valid lat and lon"));
        bool timed = false;
        // Children of the point, any depth (extensions); up to its end tag.
        while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
            if (xml.isEndElement() && xml.name() == QLatin1String("trkpt"))
                break;
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("time")) {
                const QString text = xml.readElementText();
                if (xml.hasError())
                    break;
                if (!parseTime(text, &point.utcMs))
                    return fail(int(xml.lineNumber()),
                                QStringLiteral("time \"%1\" is not a UTC date-time").arg(text));
                timed = true;
            } else if (xml.name() == QLatin1String("ele")) {
                bool ok = false;
                const double ele = xml.readElementText().toDouble(&ok);
                if (ok && std::isfinite(ele))
                    point.altitudeM = ele;
            }
        }
        if (xml.hasError())
            break;
        if (!timed)
            return fail(point.line, QStringLiteral("track point without <time>; a drive needs the time of "
                                                   "every point"));
        if (!m_points.isEmpty()) {
            const Point &previous = m_points.last();
            if (point.utcMs <= previous.utcMs)
                return fail(point.line, QStringLiteral("time %1 is not after the previous point's %2")
                                            .arg(QString::fromLatin1(CUtcTime::isoText(point.utcMs)),
                                                 QString::fromLatin1(CUtcTime::isoText(previous.utcMs))));
            const double metres = distanceM(previous.latDeg, previous.lonDeg, point.latDeg, point.lonDeg);
            const double seconds = double(point.utcMs - previous.utcMs) / MsPerSecond;
            const double kmh = metres / seconds * MpsToKmh;
            if (kmh > MaxSpeedKmh)
                return fail(point.line,
                            QStringLiteral("jump of %1 m in %2 s (%3 km/h) from the previous point; above "
                                           "%4 km/h is no drive")
                                .arg(metres, 0, 'f', 0)
                                .arg(seconds)
                                .arg(kmh, 0, 'f', 0)
                                .arg(MaxSpeedKmh));
        }
        m_points.append(point);
    }
    if (xml.hasError())
        return fail(0, QStringLiteral("broken XML at line %1, column %2: %3")
                           .arg(xml.lineNumber())
                           .arg(xml.columnNumber())
                           .arg(xml.errorString()));
    if (m_points.isEmpty())
        return fail(0, QStringLiteral("no track points (<trkpt>) found"));
    if (m_points.size() == 1)
        return fail(m_points.first().line, QStringLiteral("only one track point; a drive needs two or more"));

    // The first whole second of the track.
    m_startUtcMs = (m_points.first().utcMs + MsPerSecond - 1) / MsPerSecond * MsPerSecond;
    if (m_points.last().utcMs < m_startUtcMs + MsPerSecond)
        return fail(0, QStringLiteral("the track lasts less than a second"));
    const int firstYear = CUtcTime::fields(m_startUtcMs).year;
    const int lastYear = CUtcTime::fields(m_points.last().utcMs).year;
    if (firstYear < FirstYear || lastYear >= LastYear)
        return fail(0,
                    QStringLiteral("the track's times must lie in %1..%2").arg(FirstYear).arg(LastYear - 1));

    m_segment = 0;
    m_state = CDriveSimulator::State();
    m_state.phase = CDriveRoute::Town;
    place();
    return true;
}

QVector<CDriveOptions::Window> CGpxTrack::noFixWindows() const
{
    QVector<CDriveOptions::Window> windows;
    for (int i = 1; i < m_points.size(); ++i) {
        if (!m_points[i].segmentStart)
            continue;
        // The epochs strictly between the two segments.
        CDriveOptions::Window window;
        window.startMs = std::max<qint64>(0, m_points[i - 1].utcMs + 1 - m_startUtcMs);
        window.lengthMs = m_points[i].utcMs - m_startUtcMs - window.startMs;
        if (window.lengthMs > 0)
            windows.append(window);
    }
    return windows;
}

bool CGpxTrack::finished() const
{
    return m_points.size() < 2 || m_startUtcMs + m_state.timeMs > m_points.last().utcMs;
}

void CGpxTrack::step()
{
    m_state.timeMs += CDriveSimulator::StepMs;
    if (!finished())
        place();
}

void CGpxTrack::place()
{
    const qint64 t = m_startUtcMs + m_state.timeMs;
    while (m_segment + 2 < m_points.size() && m_points[m_segment + 1].utcMs < t)
        ++m_segment;
    const Point &a = m_points[m_segment];
    const Point &b = m_points[m_segment + 1];
    const double share = qBound(0.0, double(t - a.utcMs) / double(b.utcMs - a.utcMs), 1.0);
    m_state.latDeg = a.latDeg + (b.latDeg - a.latDeg) * share;
    m_state.lonDeg = a.lonDeg + (b.lonDeg - a.lonDeg) * share;
    m_state.altitudeM = a.altitudeM + (b.altitudeM - a.altitudeM) * share;
    const double metres = distanceM(a.latDeg, a.lonDeg, b.latDeg, b.lonDeg);
    if (metres < StandingM) {
        m_state.speedMps = 0.0; // the heading stays the last one driven
    } else {
        m_state.speedMps = metres / (double(b.utcMs - a.utcMs) / MsPerSecond);
        m_state.headingRad = bearingRad(a.latDeg, a.lonDeg, b.latDeg, b.lonDeg);
    }
    m_state.phase = m_state.speedMps * MpsToKmh >= HighwayFromKmh ? CDriveRoute::Highway : CDriveRoute::Town;
}
