#include "CNmeaWriter.h"

#include "CUtcTime.h"

namespace
{
const int SatellitesPerGsv = 4;
const int GsaPrnFields = 12;
const char GeoidSeparation[] = "47.4"; // m, around the depot

QByteArray timeField(qint64 utcMs)
{
    const CUtcTime::Fields f = CUtcTime::fields(utcMs);
    return QString::asprintf("%02d%02d%02d.%02d", f.hour, f.minute, f.second, f.millisecond / 10).toLatin1();
}

QByteArray dateField(qint64 utcMs)
{
    const CUtcTime::Fields f = CUtcTime::fields(utcMs);
    return QString::asprintf("%02d%02d%02d", f.day, f.month, f.year % 100).toLatin1();
}

// ddmm.mmmmm,N or dddmm.mmmmm,E
QByteArray angleFields(qint64 units, int degreeDigits, char positive, char negative)
{
    const qint64 magnitude = units < 0 ? -units : units;
    const qint64 degrees = magnitude / CNmeaFix::LatLonUnitsPerDeg;
    const qint64 minuteUnits = magnitude % CNmeaFix::LatLonUnitsPerDeg;
    return QString::asprintf("%0*lld%02lld.%05lld,%c", degreeDigits, degrees, minuteUnits / 100000,
                             minuteUnits % 100000, units < 0 ? negative : positive)
        .toLatin1();
}

QByteArray positionFields(const CNmeaFix &fix)
{
    return angleFields(fix.latUnits, 2, 'N', 'S') + ',' + angleFields(fix.lonUnits, 3, 'E', 'W');
}

QByteArray dopText(int centi)
{
    return CNmeaFix::fixedText(centi, 2);
}
} // namespace

QStringList CNmeaWriter::sentenceNames()
{
    return {QStringLiteral("RMC"), QStringLiteral("VTG"), QStringLiteral("GGA"), QStringLiteral("GSA"),
            QStringLiteral("GSV")};
}

int CNmeaWriter::sentenceFlag(const QString &name)
{
    const int index = sentenceNames().indexOf(name.trimmed().toUpper());
    return index < 0 ? 0 : 1 << index;
}

quint8 CNmeaWriter::checksum(const QByteArray &body)
{
    quint8 sum = 0;
    for (char c : body)
        sum ^= quint8(c);
    return sum;
}

QByteArray CNmeaWriter::frame(const QByteArray &body)
{
    return '$' + body + '*' + QByteArray::number(checksum(body), 16).toUpper().rightJustified(2, '0') +
           "\r\n";
}

QByteArray CNmeaWriter::rmc(const CNmeaFix &fix)
{
    QByteArray body = "GPRMC," + timeField(fix.utcMs);
    if (fix.valid)
        body += ",A," + positionFields(fix) + ',' + CNmeaFix::fixedText(fix.speedMilliKnots, 3) + ',' +
                CNmeaFix::fixedText(fix.courseCentiDeg, 2);
    else
        body += ",V,,,,,,";
    body += ',' + dateField(fix.utcMs) + ",,," + (fix.valid ? "A" : "N");
    return frame(body);
}

QByteArray CNmeaWriter::vtg(const CNmeaFix &fix)
{
    if (!fix.valid)
        return frame("GPVTG,,T,,M,,N,,K,N");
    const qint64 milliKmh = (fix.speedMicroKmh() + 500) / 1000;
    return frame("GPVTG," + CNmeaFix::fixedText(fix.courseCentiDeg, 2) + ",T,,M," +
                 CNmeaFix::fixedText(fix.speedMilliKnots, 3) + ",N," + CNmeaFix::fixedText(milliKmh, 3) +
                 ",K,A");
}

QByteArray CNmeaWriter::gga(const CNmeaFix &fix)
{
    QByteArray body = "GPGGA," + timeField(fix.utcMs);
    if (fix.valid)
        body += ',' + positionFields(fix) + ",1," +
                QByteArray::number(fix.usedCount()).rightJustified(2, '0') + ',' + dopText(fix.hdopCenti) +
                ',' + CNmeaFix::fixedText(fix.altitudeDm, 1) + ",M," + GeoidSeparation + ",M,,";
    else
        body += ",,,,,0,00," + dopText(fix.hdopCenti) + ",,,,,,";
    return frame(body);
}

QByteArray CNmeaWriter::gsa(const CNmeaFix &fix)
{
    QByteArray body = fix.valid ? "GPGSA,A,3" : "GPGSA,A,1";
    int fields = 0;
    for (const CSkyModel::Satellite &sat : fix.inView) {
        if (sat.used && fields < GsaPrnFields) {
            body += ',' + QByteArray::number(sat.prn).rightJustified(2, '0');
            ++fields;
        }
    }
    for (; fields < GsaPrnFields; ++fields)
        body += ',';
    body += ',' + dopText(fix.pdopCenti) + ',' + dopText(fix.hdopCenti) + ',' + dopText(fix.vdopCenti);
    return frame(body);
}

QByteArray CNmeaWriter::gsv(const CNmeaFix &fix)
{
    const int count = fix.inView.size();
    const int total = count == 0 ? 1 : (count + SatellitesPerGsv - 1) / SatellitesPerGsv;
    const QByteArray inView = QByteArray::number(count).rightJustified(2, '0');
    QByteArray out;
    for (int n = 0; n < total; ++n) {
        QByteArray body =
            "GPGSV," + QByteArray::number(total) + ',' + QByteArray::number(n + 1) + ',' + inView;
        for (int i = n * SatellitesPerGsv; i < qMin(count, (n + 1) * SatellitesPerGsv); ++i) {
            const CSkyModel::Satellite &sat = fix.inView[i];
            body +=
                QString::asprintf(",%02d,%02d,%03d,", sat.prn, sat.elevationDeg, sat.azimuthDeg).toLatin1();
            if (sat.snr > 0)
                body += QByteArray::number(sat.snr).rightJustified(2, '0');
        }
        out += frame(body);
    }
    return out;
}

QByteArray CNmeaWriter::epoch(const CNmeaFix &fix, int sentences, bool withGsv)
{
    QByteArray out;
    if (sentences & Rmc)
        out += rmc(fix);
    if (sentences & Vtg)
        out += vtg(fix);
    if (sentences & Gga)
        out += gga(fix);
    if (sentences & Gsa)
        out += gsa(fix);
    if ((sentences & Gsv) && withGsv)
        out += gsv(fix);
    return out;
}
