#ifndef SGPSREPORT_H
#define SGPSREPORT_H

#include <QString>
#include <QtGlobal>

#include <limits>

// One report read from gpsd, in the shape the fix evaluation works with and
// free of libgps types, so that nothing outside CGpsdClient depends on the
// libgps version installed. Numbers that the report does not carry are NaN.
struct SGpsReport {
    // Kinds of values in the report. The numbering is our own; CGpsdClient
    // maps gpsd's mask onto it.
    static constexpr quint64 PACKET_SET = Q_UINT64_C(1) << 0;     // a complete line arrived
    static constexpr quint64 STATUS_SET = Q_UINT64_C(1) << 1;     // a fix status/mode report (TPV)
    static constexpr quint64 TIME_SET = Q_UINT64_C(1) << 2;       // fixTime valid
    static constexpr quint64 DEVICE_SET = Q_UINT64_C(1) << 3;     // driver, subtype valid
    static constexpr quint64 DEVICELIST_SET = Q_UINT64_C(1) << 4; // deviceCount and first device valid
    static constexpr quint64 DEVICEID_SET = Q_UINT64_C(1) << 5;   // the receiver identified itself
    static constexpr quint64 LATLON_SET = Q_UINT64_C(1) << 6;     // latitude, longitude, mode valid
    static constexpr quint64 ALTITUDE_SET = Q_UINT64_C(1) << 7;   // altitude valid
    static constexpr quint64 SPEED_SET = Q_UINT64_C(1) << 8;      // speed (and track when known) valid
    static constexpr quint64 DOP_SET = Q_UINT64_C(1) << 9;        // a satellite report with an HDOP
    // Anything else gpsd flagged (satellites, version, policy, ...): keeps
    // such reports from looking like a bare packet mark.
    static constexpr quint64 OTHER_SET = Q_UINT64_C(1) << 10;

    static constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

    quint64 set = 0;

    double fixTime = 0.0;         // seconds since 1970-01-01 UTC, with fraction
    int mode = 0;                 // 0 not seen, 1 no fix, 2 two-dimensional, 3 three-dimensional
    double latitude = kUnknown;   // degrees
    double longitude = kUnknown;  // degrees
    double altitude = kUnknown;   // metres above mean sea level
    double separation = kUnknown; // geoid separation, metres (mean sea level above the ellipsoid)
    double track = kUnknown;      // degrees from true north
    double speed = kUnknown;      // metres per second

    // Kept by the connection from the last satellite report until the next
    // one, so every report carries the latest values (0 and NaN before any).
    int satellitesUsed = 0;
    double hdop = kUnknown;

    // Device that sent the report.
    QString driver;
    QString subtype;

    // Device list: count and its first entry.
    int deviceCount = 0;
    QString devicePath;
    QString deviceDriver;
    QString deviceSubtype;
};

#endif // SGPSREPORT_H
