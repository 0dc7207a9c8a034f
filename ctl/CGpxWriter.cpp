#include "CGpxWriter.h"

#include "CTrack.h"

#include <QIODevice>
#include <QXmlStreamWriter>

#include <algorithm>

const char *const CGpxWriter::kGpxNamespace = "http://www.topografix.com/GPX/1/1";
const char *const CGpxWriter::kNamespace = "urn:brask:vorlan:gpx:1";

namespace
{
constexpr int kCoordinateDecimals = 6; // about 0.1 m
constexpr int kValueDecimals = 1;
constexpr int kTrackDecimals = 2;
const QString kPrefix = QStringLiteral("vorlan");

QString number(double value, int decimals)
{
    // 'f' never writes an exponent, which xsd:decimal does not allow.
    return QString::number(value, 'f', decimals);
}

void writePoint(QXmlStreamWriter &xml, const CGpsPoint &fix)
{
    const QString ns = QString::fromLatin1(CGpxWriter::kNamespace);
    xml.writeStartElement(QStringLiteral("trkpt"));
    xml.writeAttribute(QStringLiteral("lat"), number(fix.latitude, kCoordinateDecimals));
    xml.writeAttribute(QStringLiteral("lon"), number(fix.longitude, kCoordinateDecimals));
    // The order of the children is fixed by the GPX schema.
    xml.writeTextElement(QStringLiteral("ele"), number(fix.altitude, kValueDecimals));
    const QDateTime time = CTrack::fixTime(fix);
    if (time.isValid())
        xml.writeTextElement(QStringLiteral("time"), time.toString(Qt::ISODate));
    if (fix.satellites >= 0)
        xml.writeTextElement(QStringLiteral("sat"), QString::number(fix.satellites));
    if (fix.hdop > 0.0)
        xml.writeTextElement(QStringLiteral("hdop"), number(fix.hdop, kValueDecimals));
    xml.writeStartElement(QStringLiteral("extensions"));
    xml.writeTextElement(ns, QStringLiteral("speed"), number(fix.speed, kValueDecimals));
    xml.writeTextElement(ns, QStringLiteral("course"), number(fix.track, kTrackDecimals));
    xml.writeEndElement();
    xml.writeEndElement();
}

void writeBounds(QXmlStreamWriter &xml, const CTrack &track)
{
    if (track.points().isEmpty())
        return;
    double minLat = track.points().first().fix.latitude;
    double maxLat = minLat;
    double minLon = track.points().first().fix.longitude;
    double maxLon = minLon;
    for (const CTrack::Point &p : track.points()) {
        minLat = std::min(minLat, p.fix.latitude);
        maxLat = std::max(maxLat, p.fix.latitude);
        minLon = std::min(minLon, p.fix.longitude);
        maxLon = std::max(maxLon, p.fix.longitude);
    }
    xml.writeEmptyElement(QStringLiteral("bounds"));
    xml.writeAttribute(QStringLiteral("minlat"), number(minLat, kCoordinateDecimals));
    xml.writeAttribute(QStringLiteral("minlon"), number(minLon, kCoordinateDecimals));
    xml.writeAttribute(QStringLiteral("maxlat"), number(maxLat, kCoordinateDecimals));
    xml.writeAttribute(QStringLiteral("maxlon"), number(maxLon, kCoordinateDecimals));
}
} // namespace

bool CGpxWriter::write(const CTrack &track, QIODevice *device)
{
    QXmlStreamWriter xml(device);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(QString::fromLatin1(kGpxNamespace));
    xml.writeNamespace(QString::fromLatin1(kNamespace), kPrefix);
    xml.writeStartElement(QString::fromLatin1(kGpxNamespace), QStringLiteral("gpx"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("vorlanctl"));
    xml.writeComment(QStringLiteral(" vorlan:speed in km/h, vorlan:course in degrees from true north "));

    xml.writeStartElement(QStringLiteral("metadata"));
    xml.writeTextElement(QStringLiteral("name"), QStringLiteral("vorlan-gps track"));
    xml.writeTextElement(
        QStringLiteral("desc"),
        QStringLiteral("%1 track points stored by the GPS daemon").arg(track.points().size()));
    writeBounds(xml, track);
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("trk"));
    xml.writeTextElement(QStringLiteral("name"), QStringLiteral("vorlan-gps track"));
    int segment = -1;
    for (const CTrack::Point &p : track.points()) {
        if (p.segment != segment) {
            if (segment >= 0)
                xml.writeEndElement();
            xml.writeStartElement(QStringLiteral("trkseg"));
            segment = p.segment;
        }
        writePoint(xml, p.fix);
    }
    if (segment >= 0)
        xml.writeEndElement();
    xml.writeEndElement(); // trk
    xml.writeEndElement(); // gpx
    xml.writeEndDocument();
    return !xml.hasError();
}
