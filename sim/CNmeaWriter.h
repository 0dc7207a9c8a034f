#ifndef CNMEAWRITER_H
#define CNMEAWRITER_H

#include "CNmeaFix.h"
#include "CReceiverProfile.h"

#include <QByteArray>
#include <QStringList>

// NMEA 0183 sentences of one epoch as the receiver of a profile writes them,
// framed with '$', the checksum and CR LF.
class CNmeaWriter
{
public:
    enum ESentence {
        Rmc = 0x01,
        Vtg = 0x02,
        Gga = 0x04,
        Gsa = 0x08,
        Gsv = 0x10,
        Gll = 0x20,
        Gst = 0x40,
        Gbs = 0x80,
        Zda = 0x100,
        AllSentences = 0x1ff
    };

    // Sentence names in the order an epoch writes them.
    static QStringList sentenceNames();
    static int sentenceFlag(const QString &name); // 0 when unknown

    static quint8 checksum(const QByteArray &body);
    // "$" body "*" checksum CR LF; body is what lies between '$' and '*'.
    static QByteArray frame(const QByteArray &body);

    static QByteArray rmc(const CNmeaFix &fix, const CReceiverProfile &profile);
    static QByteArray vtg(const CNmeaFix &fix, const CReceiverProfile &profile);
    static QByteArray gga(const CNmeaFix &fix, const CReceiverProfile &profile);
    // One per system when the profile numbers the systems, else one.
    static QByteArray gsa(const CNmeaFix &fix, const CReceiverProfile &profile);
    // Per system (and band), one to several sentences of four satellites.
    static QByteArray gsv(const CNmeaFix &fix, const CReceiverProfile &profile);
    static QByteArray gll(const CNmeaFix &fix, const CReceiverProfile &profile);
    static QByteArray gst(const CNmeaFix &fix, const CReceiverProfile &profile);
    static QByteArray gbs(const CNmeaFix &fix, const CReceiverProfile &profile);
    static QByteArray zda(const CNmeaFix &fix, const CReceiverProfile &profile);

    // The epoch's sentences in receiver order (RMC, VTG, GGA, GSA, GSV, GLL,
    // GST, GBS, ZDA); GSV only when withGsv, as receivers send the sky once a second.
    static QByteArray epoch(const CNmeaFix &fix, const CReceiverProfile &profile, int sentences,
                            bool withGsv);
};

#endif // CNMEAWRITER_H
