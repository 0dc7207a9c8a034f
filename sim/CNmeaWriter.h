#ifndef CNMEAWRITER_H
#define CNMEAWRITER_H

#include "CNmeaFix.h"

#include <QByteArray>
#include <QStringList>

// NMEA 0183 sentences of a GPS receiver (talker GP) for one epoch, framed
// with '$', the checksum and CR LF.
class CNmeaWriter
{
public:
    enum ESentence { Rmc = 0x01, Vtg = 0x02, Gga = 0x04, Gsa = 0x08, Gsv = 0x10, AllSentences = 0x1f };

    // Sentence names in the order an epoch writes them.
    static QStringList sentenceNames();
    static int sentenceFlag(const QString &name); // 0 when unknown

    static quint8 checksum(const QByteArray &body);
    // "$" body "*" checksum CR LF; body is what lies between '$' and '*'.
    static QByteArray frame(const QByteArray &body);

    static QByteArray rmc(const CNmeaFix &fix);
    static QByteArray vtg(const CNmeaFix &fix);
    static QByteArray gga(const CNmeaFix &fix);
    static QByteArray gsa(const CNmeaFix &fix);
    // One to several sentences, four satellites each.
    static QByteArray gsv(const CNmeaFix &fix);

    // The epoch's sentences in receiver order (RMC, VTG, GGA, GSA, GSV);
    // GSV only when withGsv, as receivers send the sky once a second.
    static QByteArray epoch(const CNmeaFix &fix, int sentences, bool withGsv);
};

#endif // CNMEAWRITER_H
