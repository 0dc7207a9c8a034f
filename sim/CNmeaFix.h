#ifndef CNMEAFIX_H
#define CNMEAFIX_H

#include "CDriveSimulator.h"
#include "CSkyModel.h"

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

// One epoch exactly as the receiver reports it: every value is held in the
// unit and resolution the sentences carry, so the NMEA text and the ground
// truth are printed from the same integers and cannot disagree.
class CNmeaFix
{
public:
    static const qint64 LatLonUnitsPerDeg = 6000000; // 1e-5 arc minute

    qint64 utcMs = 0; // receiver time, ms since 1970
    bool valid = false;
    qint64 latUnits = 0;   // negative south
    qint64 lonUnits = 0;   // negative west
    qint64 altitudeDm = 0; // decimetres above mean sea level
    qint64 speedMilliKnots = 0;
    int courseCentiDeg = 0; // 0..35999
    int hdopCenti = 9999;
    int vdopCenti = 9999;
    int pdopCenti = 9999;
    QVector<CSkyModel::Satellite> inView; // empty without a fix
    const char *phase = "";

    // Without a fix the position, speed and course are kept (the truth
    // file tells where the truck was) but the sentences leave them out.
    static CNmeaFix fromState(qint64 utcMs, const CDriveSimulator::State &state, const CSkyModel::Sky &sky,
                              bool valid);

    int usedCount() const;
    double latitudeDeg() const { return double(latUnits) / LatLonUnitsPerDeg; }
    double longitudeDeg() const { return double(lonUnits) / LatLonUnitsPerDeg; }
    // Speed in km/h to the micro-km/h: exact, since a knot is 1.852 km/h.
    qint64 speedMicroKmh() const { return speedMilliKnots * 1852; }

    static QByteArray truthHeader();
    QByteArray truthLine() const;

    // Decimal text of units / 10^decimals, exact.
    static QByteArray fixedText(qint64 units, int decimals);
};

#endif // CNMEAFIX_H
