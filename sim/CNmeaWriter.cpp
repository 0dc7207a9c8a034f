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

QByteArray talker(const CReceiverProfile &profile, const char *sentence)
{
    return QByteArray(profile.talker) + sentence;
}

// One standard deviation of the position error in dm, horizontal (per axis)
// or vertical, from the dilution and a user range error of 1.5 m.
qint64 sigmaDm(int dopCenti, bool horizontal)
{
    return (qint64(dopCenti) * (horizontal ? 106 : 150) + 500) / 1000;
}

QByteArray satelliteGroup(const CNmeaFix &fix, const CReceiverProfile &profile,
                          CReceiverProfile::ESystem system, bool secondBand)
{
    QVector<CSkyModel::Satellite> sats;
    for (const CSkyModel::Satellite &sat : fix.inView)
        if (sat.system == system && (!secondBand || sat.snr2 > 0))
            sats.append(sat);
    const int count = sats.size();
    const int total = count == 0 ? 1 : (count + SatellitesPerGsv - 1) / SatellitesPerGsv;
    const QByteArray inView = QByteArray::number(count).rightJustified(2, '0');
    const QByteArray name = QByteArray(CReceiverProfile::systemTalker(system)) + "GSV,";
    QByteArray out;
    for (int n = 0; n < total; ++n) {
        QByteArray body = name + QByteArray::number(total) + ',' + QByteArray::number(n + 1) + ',' + inView;
        for (int i = n * SatellitesPerGsv; i < qMin(count, (n + 1) * SatellitesPerGsv); ++i) {
            const CSkyModel::Satellite &sat = sats[i];
            const int snr = secondBand ? sat.snr2 : sat.snr;
            body +=
                QString::asprintf(",%02d,%02d,%03d,", sat.prn, sat.elevationDeg, sat.azimuthDeg).toLatin1();
            if (snr > 0)
                body += QByteArray::number(snr).rightJustified(2, '0');
        }
        if (profile.systemIds)
            body += QByteArray(",") + CReceiverProfile::signalId(system, secondBand);
        out += CNmeaWriter::frame(body);
    }
    return out;
}
} // namespace

QStringList CNmeaWriter::sentenceNames()
{
    return {QStringLiteral("RMC"), QStringLiteral("VTG"), QStringLiteral("GGA"),
            QStringLiteral("GSA"), QStringLiteral("GSV"), QStringLiteral("GLL"),
            QStringLiteral("GST"), QStringLiteral("GBS"), QStringLiteral("ZDA")};
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

QByteArray CNmeaWriter::rmc(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    QByteArray body = talker(profile, "RMC,") + timeField(fix.utcMs);
    if (fix.valid)
        body += ",A," + positionFields(fix) + ',' + CNmeaFix::fixedText(fix.speedMilliKnots, 3) + ',' +
                CNmeaFix::fixedText(fix.courseCentiDeg, 2);
    else
        body += ",V,,,,,,";
    body += ',' + dateField(fix.utcMs) + ",,," + (fix.valid ? "A" : "N");
    return frame(body);
}

QByteArray CNmeaWriter::vtg(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    if (!fix.valid)
        return frame(talker(profile, "VTG,,T,,M,,N,,K,N"));
    const qint64 milliKmh = (fix.speedMicroKmh() + 500) / 1000;
    return frame(talker(profile, "VTG,") + CNmeaFix::fixedText(fix.courseCentiDeg, 2) + ",T,,M," +
                 CNmeaFix::fixedText(fix.speedMilliKnots, 3) + ",N," + CNmeaFix::fixedText(milliKmh, 3) +
                 ",K,A");
}

QByteArray CNmeaWriter::gga(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    QByteArray body = talker(profile, "GGA,") + timeField(fix.utcMs);
    if (fix.valid)
        body += ',' + positionFields(fix) + ",1," +
                QByteArray::number(fix.usedCount()).rightJustified(2, '0') + ',' + dopText(fix.hdopCenti) +
                ',' + CNmeaFix::fixedText(fix.altitudeDm, 1) + ",M," + GeoidSeparation + ",M,,";
    else
        body += ",,,,,0,00," + dopText(fix.hdopCenti) + ",,,,,,";
    return frame(body);
}

QByteArray CNmeaWriter::gsa(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    QByteArray out;
    for (int s = 0; s < CReceiverProfile::SystemCount; ++s) {
        const auto system = CReceiverProfile::ESystem(s);
        if (!profile.tracks(system))
            continue;
        QByteArray body = talker(profile, fix.valid ? "GSA,A,3" : "GSA,A,1");
        int fields = 0;
        for (const CSkyModel::Satellite &sat : fix.inView) {
            if (sat.used && sat.system == system && fields < GsaPrnFields) {
                body += ',' + QByteArray::number(sat.prn).rightJustified(2, '0');
                ++fields;
            }
        }
        for (; fields < GsaPrnFields; ++fields)
            body += ',';
        body += ',' + dopText(fix.pdopCenti) + ',' + dopText(fix.hdopCenti) + ',' + dopText(fix.vdopCenti);
        if (profile.systemIds)
            body += ',' + QByteArray::number(CReceiverProfile::systemId(system));
        out += frame(body);
    }
    return out;
}

QByteArray CNmeaWriter::gsv(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    QByteArray out;
    for (int s = 0; s < CReceiverProfile::SystemCount; ++s) {
        const auto system = CReceiverProfile::ESystem(s);
        if (!profile.tracks(system))
            continue;
        out += satelliteGroup(fix, profile, system, false);
        bool second = false;
        for (const CSkyModel::Satellite &sat : fix.inView)
            second = second || (sat.system == system && sat.snr2 > 0);
        // Without a fix the receiver lists nothing on the second band.
        if (profile.secondBand && second)
            out += satelliteGroup(fix, profile, system, true);
    }
    return out;
}

QByteArray CNmeaWriter::gll(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    if (!fix.valid)
        return frame(talker(profile, "GLL,,,,,") + timeField(fix.utcMs) + ",V,N");
    return frame(talker(profile, "GLL,") + positionFields(fix) + ',' + timeField(fix.utcMs) + ",A,A");
}

QByteArray CNmeaWriter::gst(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    QByteArray body = talker(profile, "GST,") + timeField(fix.utcMs);
    if (!fix.valid)
        return frame(body + ",,,,,,,");
    const QByteArray horizontal = CNmeaFix::fixedText(sigmaDm(fix.hdopCenti, true), 1);
    return frame(body + ',' + CNmeaFix::fixedText(sigmaDm(fix.pdopCenti, false), 1) + ",,,," + horizontal +
                 ',' + horizontal + ',' + CNmeaFix::fixedText(sigmaDm(fix.vdopCenti, false), 1));
}

QByteArray CNmeaWriter::gbs(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    QByteArray body = talker(profile, "GBS,") + timeField(fix.utcMs);
    if (!fix.valid)
        return frame(body + ",,,,,,,,,");
    // No satellite suspected of a fault: the fields naming one stay empty.
    const QByteArray horizontal = CNmeaFix::fixedText(sigmaDm(fix.hdopCenti, true), 1);
    return frame(body + ',' + horizontal + ',' + horizontal + ',' +
                 CNmeaFix::fixedText(sigmaDm(fix.vdopCenti, false), 1) + ",,,,,,");
}

QByteArray CNmeaWriter::zda(const CNmeaFix &fix, const CReceiverProfile &profile)
{
    const CUtcTime::Fields f = CUtcTime::fields(fix.utcMs);
    return frame(talker(profile, "ZDA,") + timeField(fix.utcMs) +
                 QString::asprintf(",%02d,%02d,%04d,00,00", f.day, f.month, f.year).toLatin1());
}

QByteArray CNmeaWriter::epoch(const CNmeaFix &fix, const CReceiverProfile &profile, int sentences,
                              bool withGsv)
{
    QByteArray out;
    if (sentences & Rmc)
        out += rmc(fix, profile);
    if (sentences & Vtg)
        out += vtg(fix, profile);
    if (sentences & Gga)
        out += gga(fix, profile);
    if (sentences & Gsa)
        out += gsa(fix, profile);
    if ((sentences & Gsv) && withGsv)
        out += gsv(fix, profile);
    if (sentences & Gll)
        out += gll(fix, profile);
    if (sentences & Gst)
        out += gst(fix, profile);
    if (sentences & Gbs)
        out += gbs(fix, profile);
    if (sentences & Zda)
        out += zda(fix, profile);
    return out;
}
