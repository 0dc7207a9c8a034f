#ifndef CDRIVEROUTE_H
#define CDRIVEROUTE_H

#include <QString>
#include <QStringList>
#include <QVector>

// A tank truck's round as a path of straight pieces and circular arcs with
// speed limits, and the places where the truck stands (depot, traffic
// lights, gate, customers). The round is laid out in metres east/north of
// the depot; the corners become arcs whose radius the street allows, so the
// heading changes smoothly as a real truck's would.
class CDriveRoute
{
public:
    enum EPhase { Depot, Yard, Town, Highway, Light, Unload };
    // Where a round's corner makes the truck stand; lights may be green.
    enum EStop { NoStop, LightStop, GateStop, UnloadStop, DepotStop };

    struct Piece {
        double startS = 0.0;       // path length at the piece's start, m
        double length = 0.0;       // m
        double startHeading = 0.0; // rad from north, clockwise
        double curvature = 0.0;    // rad/m, positive turns right; 0 on straights
        double limitMps = 0.0;     // speed the driver aims at, m/s
        EPhase phase = Town;
    };

    struct Stop {
        double atS = 0.0; // path length where the truck stands, m
        double seconds = 0.0;
        EPhase phase = Light;
    };

    static QStringList names();
    static QString defaultName();
    // Builds the named round; which traffic lights are red, and for how
    // long the truck stands anywhere, follow from the seed. False for an
    // unknown name.
    static bool create(const QString &name, quint64 seed, CDriveRoute *route);
    static const char *phaseName(EPhase phase);

    double depotLatDeg() const { return m_depotLatDeg; }
    double depotLonDeg() const { return m_depotLonDeg; }
    double length() const { return m_length; }
    const QVector<Piece> &pieces() const { return m_pieces; }
    // Ordered by position; the first is the standing time at the depot
    // before the start, the last the standing time after the return.
    const QVector<Stop> &stops() const { return m_stops; }

    // Index of the piece that holds s; hint is where a previous, smaller s
    // was found (the truck only moves forward).
    int pieceAt(double s, int hint) const;
    double headingAt(double s, int hint) const;

private:
    struct Waypoint {
        double east; // m from the depot
        double north;
        double limitKmh; // of the leg that ends here
        EPhase phase;    // of the leg that ends here
        double radiusM;  // of the corner here
        EStop stop;
        double stopSeconds; // nominal; lights and gates draw their own
    };

    void build(const Waypoint *points, int count, quint64 seed);

    double m_depotLatDeg = 0.0;
    double m_depotLonDeg = 0.0;
    double m_length = 0.0;
    QVector<Piece> m_pieces;
    QVector<Stop> m_stops;
};

#endif // CDRIVEROUTE_H
