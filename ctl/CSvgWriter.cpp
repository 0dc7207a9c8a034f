#include "CSvgWriter.h"

#include "CTrack.h"
#include "CTruthTrack.h"
#include "logbook/ELogSubType.h"

#include <QIODevice>
#include <QPointF>
#include <QRectF>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace
{
// Canvas and layout, in SVG pixels.
constexpr int kWidth = 960;
constexpr int kHeight = 720;
constexpr double kMapLeft = 20;
constexpr double kMapTop = 70;
constexpr double kMapWidth = 920;
constexpr double kMapHeight = 540;
constexpr double kMapPadding = 30; // keeps dots and labels off the frame
constexpr double kLegendTop = 640;
constexpr double kMarkerLegendLeft = 390;
constexpr double kScaleBarTargetPx = kMapWidth / 5;
constexpr double kLabelStepPx = 15;  // between labels of events at one spot
constexpr int kMaxLabelSteps = 12;   // a crowded spot's labels overlap above this many
constexpr double kLabelCharPx = 7.5; // width of a bold 12 px character, generously

constexpr double kEarthRadiusM = 6371000.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = kEarthRadiusM * kPi / 180.0;
// A truck standing still still gets a map of a few hundred metres.
constexpr double kMinSpanM = 200.0;
constexpr double kMetresPerKm = 1000.0;
constexpr qint64 kSecsPerMinute = 60;
constexpr qint64 kSecsPerHour = 3600;

const char *const kSvgNamespace = "http://www.w3.org/2000/svg";
const char *const kGapColour = "#8a8a8a";
const char *const kTruthColour = "#c4c4c4";

// Speed bands from slow (blue) to fast (red); lower limits in km/h.
struct SpeedBand {
    double fromKmh;
    const char *colour;
};
const SpeedBand kSpeedBands[] = {{0, "#1f4e9c"},  {10, "#0096c7"}, {30, "#2a9d3f"},
                                 {50, "#d9a300"}, {70, "#f05a28"}, {90, "#c0002a"}};
constexpr int kBandCount = int(sizeof(kSpeedBands) / sizeof(kSpeedBands[0]));

int speedBand(double speedKmh)
{
    int band = 0;
    for (int i = 0; i < kBandCount; ++i) {
        if (speedKmh >= kSpeedBands[i].fromKmh)
            band = i;
    }
    return band;
}

QString bandLabel(int band)
{
    if (band == kBandCount - 1)
        return QStringLiteral("\u2265%1").arg(kSpeedBands[band].fromKmh);
    if (band == 0)
        return QStringLiteral("<%1").arg(kSpeedBands[1].fromKmh);
    return QStringLiteral("%1\u2013%2").arg(kSpeedBands[band].fromKmh).arg(kSpeedBands[band + 1].fromKmh);
}

const char *eventColour(int subtype)
{
    switch (subtype) {
    case GPS_NoData:
        return "#d62728";
    case GPS_ValidData:
        return "#2ca02c";
    case GPS_Enabled:
        return "#1f77b4";
    default:
        return "#555555";
    }
}

QString plural(int count)
{
    return count == 1 ? QString() : QStringLiteral("s");
}

QString px(double value)
{
    return QString::number(value, 'f', 1);
}

// Largest 1, 2 or 5 times a power of ten that is not above metres.
double roundScaleLength(double metres)
{
    const double power = std::pow(10.0, std::floor(std::log10(metres)));
    for (const double step : {5.0, 2.0, 1.0}) {
        if (step * power <= metres)
            return step * power;
    }
    return power;
}

QString distanceText(double metres)
{
    if (metres >= kMetresPerKm)
        return QStringLiteral("%1 km").arg(metres / kMetresPerKm);
    return QStringLiteral("%1 m").arg(metres);
}

QString durationText(qint64 secs)
{
    if (secs >= kSecsPerHour)
        return QStringLiteral("%1 h %2 min")
            .arg(secs / kSecsPerHour)
            .arg(secs % kSecsPerHour / kSecsPerMinute);
    if (secs >= kSecsPerMinute)
        return QStringLiteral("%1 min %2 s").arg(secs / kSecsPerMinute).arg(secs % kSecsPerMinute);
    return QStringLiteral("%1 s").arg(secs);
}

QString timeSpanText(const CTrack &track)
{
    const QDateTime first = track.firstTime();
    const QDateTime last = track.lastTime();
    if (!first.isValid() || !last.isValid())
        return QStringLiteral("no time");
    const QString lastFormat =
        first.date() == last.date() ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm:ss");
    return QStringLiteral("%1 \u2013 %2 UTC (%3)%4")
        .arg(first.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), last.toString(lastFormat),
             durationText(first.secsTo(last)),
             track.spanIsGpsTime() ? QString() : QStringLiteral(", times of storing"));
}

// Equirectangular projection of the track into the map frame.
class Projection
{
public:
    Projection(const QList<CTrack::Point> &points, const CTruthTrack *truth)
    {
        if (points.isEmpty())
            return;
        double minLat = points.first().fix.latitude;
        double maxLat = minLat;
        double minLon = points.first().fix.longitude;
        double maxLon = minLon;
        const auto include = [&](double latitude, double longitude) {
            minLat = std::min(minLat, latitude);
            maxLat = std::max(maxLat, latitude);
            minLon = std::min(minLon, longitude);
            maxLon = std::max(maxLon, longitude);
        };
        for (const CTrack::Point &p : points)
            include(p.fix.latitude, p.fix.longitude);
        if (truth) {
            for (const CTruthTrack::Epoch &epoch : truth->epochs())
                include(epoch.latitude, epoch.longitude);
        }
        m_cosLat = std::cos((minLat + maxLat) / 2.0 * kPi / 180.0);
        m_minLat = minLat;
        m_minLon = minLon;
        const double spanX = std::max((maxLon - minLon) * kMetresPerDegree * m_cosLat, kMinSpanM);
        const double spanY = std::max((maxLat - minLat) * kMetresPerDegree, kMinSpanM);
        m_pxPerMetre =
            std::min((kMapWidth - 2 * kMapPadding) / spanX, (kMapHeight - 2 * kMapPadding) / spanY);
        // Centre the drawing; a short span is centred around the track itself.
        const double usedX = (maxLon - minLon) * kMetresPerDegree * m_cosLat * m_pxPerMetre;
        const double usedY = (maxLat - minLat) * kMetresPerDegree * m_pxPerMetre;
        m_left = kMapLeft + (kMapWidth - usedX) / 2.0;
        m_bottom = kMapTop + kMapHeight - (kMapHeight - usedY) / 2.0;
    }

    QPointF map(const CGpsPoint &fix) const { return map(fix.latitude, fix.longitude); }
    QPointF map(double latitude, double longitude) const
    {
        const double x = (longitude - m_minLon) * kMetresPerDegree * m_cosLat;
        const double y = (latitude - m_minLat) * kMetresPerDegree;
        return QPointF(m_left + x * m_pxPerMetre, m_bottom - y * m_pxPerMetre);
    }
    double pxPerMetre() const { return m_pxPerMetre; }

private:
    double m_cosLat = 1.0;
    double m_minLat = 0.0;
    double m_minLon = 0.0;
    double m_pxPerMetre = 1.0;
    double m_left = kMapLeft;
    double m_bottom = kMapTop + kMapHeight;
};

class Picture
{
public:
    Picture(const CTrack &track, QIODevice *device, const CTruthTrack *truth)
        : m_track(track), m_points(track.points()), m_truth(truth), m_projection(track.points(), truth),
          m_xml(device)
    {
    }

    bool write()
    {
        m_xml.setAutoFormatting(true);
        m_xml.setAutoFormattingIndent(1);
        m_xml.writeStartDocument();
        m_xml.writeDefaultNamespace(QString::fromLatin1(kSvgNamespace));
        m_xml.writeStartElement(QString::fromLatin1(kSvgNamespace), QStringLiteral("svg"));
        m_xml.writeAttribute(QStringLiteral("width"), QString::number(kWidth));
        m_xml.writeAttribute(QStringLiteral("height"), QString::number(kHeight));
        m_xml.writeAttribute(QStringLiteral("viewBox"), QStringLiteral("0 0 %1 %2").arg(kWidth).arg(kHeight));
        m_xml.writeAttribute(QStringLiteral("font-family"), QStringLiteral("DejaVu Sans, Arial, sans-serif"));
        m_xml.writeTextElement(QStringLiteral("title"), QStringLiteral("vorlan-gps track"));
        rect(0, 0, kWidth, kHeight, QStringLiteral("#ffffff"), QString());
        writeHeader();
        rect(kMapLeft, kMapTop, kMapWidth, kMapHeight, QStringLiteral("#f3f3ee"), QStringLiteral("#b0b0a8"));
        if (m_points.isEmpty()) {
            text(kMapLeft + kMapWidth / 2, kMapTop + kMapHeight / 2, QStringLiteral("no track points stored"),
                 18, QStringLiteral("middle"));
        } else {
            writeTruth();
            writeRoute();
            writePoints();
            writeEvents();
            writeScaleBar();
        }
        writeNorthArrow();
        writeLegend();
        m_xml.writeEndElement();
        m_xml.writeEndDocument();
        return !m_xml.hasError();
    }

private:
    void rect(double x, double y, double w, double h, const QString &fill, const QString &stroke)
    {
        m_xml.writeEmptyElement(QStringLiteral("rect"));
        m_xml.writeAttribute(QStringLiteral("x"), px(x));
        m_xml.writeAttribute(QStringLiteral("y"), px(y));
        m_xml.writeAttribute(QStringLiteral("width"), px(w));
        m_xml.writeAttribute(QStringLiteral("height"), px(h));
        m_xml.writeAttribute(QStringLiteral("fill"), fill);
        if (!stroke.isEmpty())
            m_xml.writeAttribute(QStringLiteral("stroke"), stroke);
    }

    void text(double x, double y, const QString &content, int size, const QString &anchor = QString(),
              const QString &weight = QString())
    {
        m_xml.writeStartElement(QStringLiteral("text"));
        m_xml.writeAttribute(QStringLiteral("x"), px(x));
        m_xml.writeAttribute(QStringLiteral("y"), px(y));
        m_xml.writeAttribute(QStringLiteral("font-size"), QString::number(size));
        if (!anchor.isEmpty())
            m_xml.writeAttribute(QStringLiteral("text-anchor"), anchor);
        if (!weight.isEmpty())
            m_xml.writeAttribute(QStringLiteral("font-weight"), weight);
        m_xml.writeCharacters(content);
        m_xml.writeEndElement();
    }

    void line(const QPointF &a, const QPointF &b, const QString &stroke, double width)
    {
        m_xml.writeEmptyElement(QStringLiteral("line"));
        m_xml.writeAttribute(QStringLiteral("x1"), px(a.x()));
        m_xml.writeAttribute(QStringLiteral("y1"), px(a.y()));
        m_xml.writeAttribute(QStringLiteral("x2"), px(b.x()));
        m_xml.writeAttribute(QStringLiteral("y2"), px(b.y()));
        m_xml.writeAttribute(QStringLiteral("stroke"), stroke);
        m_xml.writeAttribute(QStringLiteral("stroke-width"), px(width));
    }

    void writeHeader()
    {
        text(kMapLeft, 30, QStringLiteral("GPS track"), 20, QString(), QStringLiteral("bold"));
        const int events = int(std::count_if(m_track.events().cbegin(), m_track.events().cend(),
                                             [](const CTrack::Event &e) { return e.nearestPoint >= 0; }));
        text(kMapLeft, 54,
             QStringLiteral("%1   \u00b7   %2 track point%3 in %4 segment%5   \u00b7   %6 GPS event%7")
                     .arg(timeSpanText(m_track))
                     .arg(m_points.size())
                     .arg(plural(m_points.size()))
                     .arg(m_track.segmentCount())
                     .arg(plural(m_track.segmentCount()))
                     .arg(events)
                     .arg(plural(events)) +
                 (m_truth ? QStringLiteral("   \u00b7   true route in grey") : QString()),
             14);
    }

    // Wide and pale, so that the stored track on top shows where it leaves the road.
    void writeTruth()
    {
        if (!m_truth || m_truth->epochs().size() < 2)
            return;
        QStringList coordinates;
        for (const CTruthTrack::Epoch &epoch : m_truth->epochs()) {
            const QPointF at = m_projection.map(epoch.latitude, epoch.longitude);
            const QString xy = px(at.x()) + QLatin1Char(',') + px(at.y());
            if (coordinates.isEmpty() || coordinates.last() != xy) // a standing truck's epochs once
                coordinates << xy;
        }
        m_xml.writeEmptyElement(QStringLiteral("polyline"));
        m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("truth"));
        m_xml.writeAttribute(QStringLiteral("points"), coordinates.join(QLatin1Char(' ')));
        m_xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("none"));
        m_xml.writeAttribute(QStringLiteral("stroke"), QString::fromLatin1(kTruthColour));
        m_xml.writeAttribute(QStringLiteral("stroke-width"), QStringLiteral("9"));
        m_xml.writeAttribute(QStringLiteral("stroke-linecap"), QStringLiteral("round"));
        m_xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("round"));
    }

    // Consecutive segments of one speed band become one polyline.
    void writeRoute()
    {
        m_xml.writeStartElement(QStringLiteral("g"));
        m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("route"));
        m_xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("none"));
        m_xml.writeAttribute(QStringLiteral("stroke-linecap"), QStringLiteral("round"));
        m_xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("round"));
        QList<QPointF> run;
        int runBand = -1;
        const auto flush = [&] {
            if (run.size() > 1)
                polyline(run, QString::fromLatin1(kSpeedBands[runBand].colour));
            run.clear();
        };
        for (int i = 1; i < m_points.size(); ++i) {
            const CTrack::Point &a = m_points.at(i - 1);
            const CTrack::Point &b = m_points.at(i);
            if (a.segment != b.segment) {
                flush();
                runBand = -1;
                gap(m_projection.map(a.fix), m_projection.map(b.fix));
                continue;
            }
            const int band = speedBand((a.fix.speed + b.fix.speed) / 2.0);
            if (band != runBand) {
                flush();
                runBand = band;
                run << m_projection.map(a.fix);
            }
            run << m_projection.map(b.fix);
        }
        flush();
        m_xml.writeEndElement();
    }

    void polyline(const QList<QPointF> &points, const QString &colour)
    {
        QStringList coordinates;
        for (const QPointF &p : points)
            coordinates << px(p.x()) + QLatin1Char(',') + px(p.y());
        m_xml.writeEmptyElement(QStringLiteral("polyline"));
        m_xml.writeAttribute(QStringLiteral("points"), coordinates.join(QLatin1Char(' ')));
        m_xml.writeAttribute(QStringLiteral("stroke"), colour);
        m_xml.writeAttribute(QStringLiteral("stroke-width"), QStringLiteral("4"));
    }

    // Where no data came, the track is only guessed: a thin dashed line.
    void gap(const QPointF &a, const QPointF &b)
    {
        line(a, b, QString::fromLatin1(kGapColour), 2);
        m_xml.writeAttribute(QStringLiteral("stroke-dasharray"), QStringLiteral("6 5"));
        m_xml.writeAttribute(QStringLiteral("class"), QStringLiteral("gap"));
    }

    void writePoints()
    {
        m_xml.writeStartElement(QStringLiteral("g"));
        m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("points"));
        m_xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("#ffffff"));
        m_xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#303030"));
        m_xml.writeAttribute(QStringLiteral("stroke-width"), QStringLiteral("1"));
        for (const CTrack::Point &p : m_points) {
            const QPointF at = m_projection.map(p.fix);
            const QDateTime time = CTrack::fixTime(p.fix);
            m_xml.writeStartElement(QStringLiteral("circle"));
            m_xml.writeAttribute(QStringLiteral("class"), QStringLiteral("point"));
            m_xml.writeAttribute(QStringLiteral("cx"), px(at.x()));
            m_xml.writeAttribute(QStringLiteral("cy"), px(at.y()));
            m_xml.writeAttribute(QStringLiteral("r"), QStringLiteral("2.6"));
            m_xml.writeTextElement(QStringLiteral("title"),
                                   QStringLiteral("%1 UTC, %2 km/h")
                                       .arg(time.isValid() ? time.toString(QStringLiteral("HH:mm:ss"))
                                                           : QStringLiteral("no time"))
                                       .arg(p.fix.speed, 0, 'f', 1));
            m_xml.writeEndElement();
        }
        m_xml.writeEndElement();
    }

    void writeEvents()
    {
        m_xml.writeStartElement(QStringLiteral("g"));
        m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("events"));
        // Events at one spot (GPS on and data back at the first point, for
        // one) are often at different points of a standing truck: their
        // labels stack upwards until they are clear of the ones placed.
        QList<QRectF> placed;
        for (const CTrack::Event &event : m_track.events()) {
            if (event.nearestPoint < 0)
                continue;
            const QPointF at = m_projection.map(m_points.at(event.nearestPoint).fix);
            const QString label = CTrack::eventLabel(event.subtype);
            const QString colour = QString::fromLatin1(eventColour(event.subtype));
            const auto labelBox = [&](int step) {
                const QPointF head(at.x() + 10, at.y() - 16 - step * kLabelStepPx);
                return QRectF(head.x() - 6, head.y() - 7, 14 + 8 + label.size() * kLabelCharPx, 14);
            };
            int stacked = 0;
            while (stacked < kMaxLabelSteps &&
                   std::any_of(placed.cbegin(), placed.cend(),
                               [&](const QRectF &box) { return box.intersects(labelBox(stacked)); }))
                ++stacked;
            placed << labelBox(stacked);

            m_xml.writeStartElement(QStringLiteral("g"));
            m_xml.writeAttribute(QStringLiteral("class"), QStringLiteral("event"));
            m_xml.writeAttribute(QStringLiteral("data-event"), label);
            m_xml.writeTextElement(
                QStringLiteral("title"),
                QStringLiteral("GPS %1, stored %2 UTC")
                    .arg(label, event.stored.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
            // A pin: a stem from the point up to a head that carries the label.
            const QPointF head(at.x() + 10, at.y() - 16 - stacked * kLabelStepPx);
            line(at, head, colour, 1.5);
            m_xml.writeEmptyElement(QStringLiteral("circle"));
            m_xml.writeAttribute(QStringLiteral("cx"), px(head.x()));
            m_xml.writeAttribute(QStringLiteral("cy"), px(head.y()));
            m_xml.writeAttribute(QStringLiteral("r"), QStringLiteral("5"));
            m_xml.writeAttribute(QStringLiteral("fill"), colour);
            m_xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#ffffff"));
            m_xml.writeAttribute(QStringLiteral("stroke-width"), QStringLiteral("1.5"));
            m_xml.writeStartElement(QStringLiteral("text"));
            m_xml.writeAttribute(QStringLiteral("x"), px(head.x() + 8));
            m_xml.writeAttribute(QStringLiteral("y"), px(head.y() + 4));
            m_xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("12"));
            m_xml.writeAttribute(QStringLiteral("font-weight"), QStringLiteral("bold"));
            m_xml.writeAttribute(QStringLiteral("fill"), colour);
            // A white outline keeps the label readable on top of the route.
            m_xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#ffffff"));
            m_xml.writeAttribute(QStringLiteral("stroke-width"), QStringLiteral("3"));
            m_xml.writeAttribute(QStringLiteral("paint-order"), QStringLiteral("stroke"));
            m_xml.writeCharacters(label);
            m_xml.writeEndElement();
            m_xml.writeEndElement();
        }
        m_xml.writeEndElement();
    }

    void writeScaleBar()
    {
        const double metres = roundScaleLength(kScaleBarTargetPx / m_projection.pxPerMetre());
        const double length = metres * m_projection.pxPerMetre();
        const double right = kMapLeft + kMapWidth;
        const double y = kLegendTop + 30;
        m_xml.writeStartElement(QStringLiteral("g"));
        m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("scale"));
        const QPointF left(right - length, y);
        const QPointF end(right, y);
        line(left, end, QStringLiteral("#202020"), 3);
        line(left - QPointF(0, 6), left + QPointF(0, 6), QStringLiteral("#202020"), 2);
        line(end - QPointF(0, 6), end + QPointF(0, 6), QStringLiteral("#202020"), 2);
        text(right - length / 2, y - 10, distanceText(metres), 13, QStringLiteral("middle"));
        m_xml.writeEndElement();
    }

    void writeNorthArrow()
    {
        const double x = kMapLeft + kMapWidth - 24;
        const double y = kMapTop + 16;
        m_xml.writeEmptyElement(QStringLiteral("path"));
        m_xml.writeAttribute(QStringLiteral("d"),
                             QStringLiteral("M %1 %2 l 7 20 l -7 -5 l -7 5 z").arg(px(x), px(y)));
        m_xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("#404040"));
        text(x, y + 36, QStringLiteral("N"), 13, QStringLiteral("middle"), QStringLiteral("bold"));
    }

    void writeLegend()
    {
        m_xml.writeStartElement(QStringLiteral("g"));
        m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("legend"));
        double x = kMapLeft;
        const double y = kLegendTop;
        text(x, y + 14, QStringLiteral("speed km/h"), 13);
        x += 80;
        for (int band = 0; band < kBandCount; ++band) {
            rect(x, y + 4, 30, 10, QString::fromLatin1(kSpeedBands[band].colour), QString());
            text(x + 15, y + 30, bandLabel(band), 11, QStringLiteral("middle"));
            x += 44;
        }
        // Markers: dots and gaps in the first row, the GPS events in the second.
        x = kMarkerLegendLeft;
        m_xml.writeEmptyElement(QStringLiteral("circle"));
        m_xml.writeAttribute(QStringLiteral("cx"), px(x + 4));
        m_xml.writeAttribute(QStringLiteral("cy"), px(y + 9));
        m_xml.writeAttribute(QStringLiteral("r"), QStringLiteral("2.6"));
        m_xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("#ffffff"));
        m_xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#303030"));
        text(x + 12, y + 14, QStringLiteral("stored track point"), 12);
        const QPointF gapFrom(x + 140, y + 9);
        line(gapFrom, gapFrom + QPointF(24, 0), QString::fromLatin1(kGapColour), 2);
        m_xml.writeAttribute(QStringLiteral("stroke-dasharray"), QStringLiteral("6 5"));
        text(x + 170, y + 14, QStringLiteral("no data between"), 12);
        for (const int subtype : {GPS_Enabled, GPS_NoData, GPS_ValidData, GPS_Disabled}) {
            m_xml.writeEmptyElement(QStringLiteral("circle"));
            m_xml.writeAttribute(QStringLiteral("cx"), px(x + 4));
            m_xml.writeAttribute(QStringLiteral("cy"), px(y + 30));
            m_xml.writeAttribute(QStringLiteral("r"), QStringLiteral("5"));
            m_xml.writeAttribute(QStringLiteral("fill"), QString::fromLatin1(eventColour(subtype)));
            text(x + 13, y + 34, QStringLiteral("GPS ") + CTrack::eventLabel(subtype), 12);
            x += 80;
        }
        text(kMapLeft, kHeight - 12,
             QStringLiteral(
                 "Events carry no position: each sits at the track point stored nearest to it in time."),
             11);
        m_xml.writeEndElement();
    }

    const CTrack &m_track;
    const QList<CTrack::Point> &m_points;
    const CTruthTrack *m_truth;
    Projection m_projection;
    QXmlStreamWriter m_xml;
};
} // namespace

bool CSvgWriter::write(const CTrack &track, QIODevice *device, const CTruthTrack *truth)
{
    return Picture(track, device, truth).write();
}
