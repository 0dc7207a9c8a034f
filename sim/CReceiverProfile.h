#ifndef CRECEIVERPROFILE_H
#define CRECEIVERPROFILE_H

#include <QString>
#include <QStringList>

// What kind of receiver writes the drive: which satellite systems it tracks,
// on how many frequency bands, which sentences it sends by default and how
// it names them. "gps" is a plain GPS receiver (talker GP); "multi" a
// dual-band receiver of GPS, GLONASS, Galileo and BeiDou that reports the
// combined solution under talker GN, one GSA per system with the NMEA 4.10
// system ID and the satellites under each system's own talker with the
// signal ID; "minimal" a GPS receiver set to RMC and GGA only.
class CReceiverProfile
{
public:
    // Satellite systems in the order a receiver reports them.
    enum ESystem { Gps, Glonass, Galileo, Beidou, SystemCount };

    const char *name;
    const char *talker; // of the sentences about the solution
    int systems;        // 1 << ESystem for each system tracked
    int sentences;      // CNmeaWriter flags sent by default
    bool systemIds;     // GSA per system with system ID, GSV with signal ID
    bool secondBand;    // a GSV group per system for the second frequency too

    bool tracks(ESystem system) const { return (systems & (1 << system)) != 0; }

    static QStringList names();
    static const CReceiverProfile &standard();
    // Null for an unknown name.
    static const CReceiverProfile *find(const QString &name);

    // GSV talker of a system's satellites (GP, GL, GA, GB).
    static const char *systemTalker(ESystem system);
    // NMEA 4.10 system ID of the GSA (1 GPS, 2 GLONASS, 3 Galileo, 4 BeiDou).
    static int systemId(ESystem system);
    // NMEA 4.11 signal ID of the first and the second band.
    static const char *signalId(ESystem system, bool secondBand);
};

#endif // CRECEIVERPROFILE_H
