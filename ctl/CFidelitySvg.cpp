#include "CFidelitySvg.h"

#include <QIODevice>
#include <QLineF>
#include <QPointF>
#include <QStringList>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace
{
constexpr int kColumns = 3;
constexpr double kPanelWidth = 300;
constexpr double kPanelHeight = 300;
constexpr double kGap = 12;
constexpr double kTop = 44;        // below the heading
constexpr double kTextHeight = 40; // title and caption above each map
constexpr double kPadding = 10;
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kMetresPerDegree = 6378137.0 * kDegToRad;
constexpr double kMinSpanM = 200.0;
constexpr double kMinVertexPx = 1.0;

const char *const kSvgNamespace = "http://www.w3.org/2000/svg";
const char *const kTruthColour = "#b4b4b4";
const char *const kStoredColour = "#c0002a";

QString px(double value)
{
    return QString::number(value, 'f', 1);
}

// North up, longitudes scaled by the cosine of the middle latitude.
class Frame
{
public:
    explicit Frame(const QVector<CTrackFidelity::Position> &truth)
    {
        if (truth.isEmpty())
            return;
        double minLat = truth.first().latitude, maxLat = minLat;
        double minLon = truth.first().longitude, maxLon = minLon;
        for (const CTrackFidelity::Position &p : truth) {
            minLat = std::min(minLat, p.latitude);
            maxLat = std::max(maxLat, p.latitude);
            minLon = std::min(minLon, p.longitude);
            maxLon = std::max(maxLon, p.longitude);
        }
        m_cosLat = std::cos((minLat + maxLat) / 2.0 * kDegToRad);
        const double spanX = (maxLon - minLon) * kMetresPerDegree * m_cosLat;
        const double spanY = (maxLat - minLat) * kMetresPerDegree;
        const double inner = kPanelHeight - kTextHeight - 2 * kPadding;
        m_scale = std::min((kPanelWidth - 2 * kPadding) / std::max(spanX, kMinSpanM),
                           inner / std::max(spanY, kMinSpanM));
        m_midLat = (minLat + maxLat) / 2.0;
        m_midLon = (minLon + maxLon) / 2.0;
    }

    // Offset of the map's centre inside a panel whose corner is at origin.
    QPointF map(const CTrackFidelity::Position &p, const QPointF &corner) const
    {
        const double x = (p.longitude - m_midLon) * kMetresPerDegree * m_cosLat * m_scale;
        const double y = (p.latitude - m_midLat) * kMetresPerDegree * m_scale;
        const QPointF centre(corner.x() + kPanelWidth / 2,
                             corner.y() + kTextHeight + (kPanelHeight - kTextHeight) / 2);
        return QPointF(centre.x() + x, centre.y() - y);
    }

private:
    double m_cosLat = 1.0;
    double m_scale = 1.0;
    double m_midLat = 0.0;
    double m_midLon = 0.0;
};

void text(QXmlStreamWriter &xml, double x, double y, const QString &content, int size, bool bold = false)
{
    xml.writeStartElement(QStringLiteral("text"));
    xml.writeAttribute(QStringLiteral("x"), px(x));
    xml.writeAttribute(QStringLiteral("y"), px(y));
    xml.writeAttribute(QStringLiteral("font-size"), QString::number(size));
    if (bold)
        xml.writeAttribute(QStringLiteral("font-weight"), QStringLiteral("bold"));
    xml.writeCharacters(content);
    xml.writeEndElement();
}

void polyline(QXmlStreamWriter &xml, const QVector<CTrackFidelity::Position> &points, const Frame &frame,
              const QPointF &corner, const char *colour, double width)
{
    if (points.size() < 2)
        return;
    QStringList coordinates;
    QPointF last;
    for (int i = 0; i < points.size(); ++i) {
        const QPointF at = frame.map(points[i], corner);
        // A vertex closer than a pixel to the last one drawn adds nothing
        // but bytes: a standing truck's epochs, most of a straight road's.
        if (i > 0 && i + 1 < points.size() && QLineF(last, at).length() < kMinVertexPx)
            continue;
        coordinates << px(at.x()) + QLatin1Char(',') + px(at.y());
        last = at;
    }
    xml.writeEmptyElement(QStringLiteral("polyline"));
    xml.writeAttribute(QStringLiteral("points"), coordinates.join(QLatin1Char(' ')));
    xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("none"));
    xml.writeAttribute(QStringLiteral("stroke"), QString::fromLatin1(colour));
    xml.writeAttribute(QStringLiteral("stroke-width"), px(width));
    xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("round"));
}
} // namespace

bool CFidelitySvg::write(const QString &heading, const QVector<CTrackFidelity::Position> &truth,
                         const QVector<Panel> &panels, QIODevice *device)
{
    const int rows = (int(panels.size()) + kColumns - 1) / kColumns;
    const double width = kColumns * kPanelWidth + (kColumns + 1) * kGap;
    const double height = kTop + rows * (kPanelHeight + kGap) + kGap;
    const Frame frame(truth);

    QXmlStreamWriter xml(device);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(QString::fromLatin1(kSvgNamespace));
    xml.writeStartElement(QString::fromLatin1(kSvgNamespace), QStringLiteral("svg"));
    xml.writeAttribute(QStringLiteral("width"), px(width));
    xml.writeAttribute(QStringLiteral("height"), px(height));
    xml.writeAttribute(QStringLiteral("viewBox"), QStringLiteral("0 0 %1 %2").arg(px(width), px(height)));
    xml.writeAttribute(QStringLiteral("font-family"), QStringLiteral("DejaVu Sans, Arial, sans-serif"));
    xml.writeTextElement(QStringLiteral("title"), heading);
    xml.writeEmptyElement(QStringLiteral("rect"));
    xml.writeAttribute(QStringLiteral("width"), px(width));
    xml.writeAttribute(QStringLiteral("height"), px(height));
    xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("#ffffff"));
    text(xml, kGap, 28, heading, 16, true);

    for (int i = 0; i < panels.size(); ++i) {
        const Panel &panel = panels[i];
        const QPointF corner(kGap + (i % kColumns) * (kPanelWidth + kGap),
                             kTop + (i / kColumns) * (kPanelHeight + kGap));
        xml.writeStartElement(QStringLiteral("g"));
        xml.writeAttribute(QStringLiteral("class"), QStringLiteral("panel"));
        xml.writeEmptyElement(QStringLiteral("rect"));
        xml.writeAttribute(QStringLiteral("x"), px(corner.x()));
        xml.writeAttribute(QStringLiteral("y"), px(corner.y()));
        xml.writeAttribute(QStringLiteral("width"), px(kPanelWidth));
        xml.writeAttribute(QStringLiteral("height"), px(kPanelHeight));
        xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("#f6f6f1"));
        xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#c8c8c0"));
        text(xml, corner.x() + 8, corner.y() + 17, panel.title, 13, true);
        text(xml, corner.x() + 8, corner.y() + 33, panel.caption, 11);
        polyline(xml, truth, frame, corner, kTruthColour, 4);
        polyline(xml, panel.stored, frame, corner, kStoredColour, 1.5);
        xml.writeStartElement(QStringLiteral("g"));
        xml.writeAttribute(QStringLiteral("fill"), QString::fromLatin1(kStoredColour));
        for (const CTrackFidelity::Position &p : panel.stored) {
            const QPointF at = frame.map(p, corner);
            xml.writeEmptyElement(QStringLiteral("circle"));
            xml.writeAttribute(QStringLiteral("cx"), px(at.x()));
            xml.writeAttribute(QStringLiteral("cy"), px(at.y()));
            xml.writeAttribute(QStringLiteral("r"), QStringLiteral("1.8"));
        }
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return !xml.hasError();
}
