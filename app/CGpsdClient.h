#ifndef CGPSDCLIENT_H
#define CGPSDCLIENT_H

#include "SGpsReport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <memory>

struct gps_data_t;

// The daemon's only contact with libgps: one connection to gpsd and the
// translation of what libgps delivers into SGpsReport. Differences between
// libgps versions stay in this class.
class CGpsdClient
{
public:
    // Streaming flags the daemon asks for: WATCH_ENABLE, WATCH_JSON,
    // WATCH_NMEA, WATCH_RARE and WATCH_RAW.
    static constexpr unsigned int kWatchFlags = 0xf1;

    CGpsdClient();
    ~CGpsdClient();

    CGpsdClient(const CGpsdClient &) = delete;
    CGpsdClient &operator=(const CGpsdClient &) = delete;

    // Connects to gpsd: 0 on success, otherwise a libgps error code for
    // errorText(). Without host and port the library defaults apply (the
    // local gpsd on port 2947), which is what the daemon uses; tests pass
    // the port of their own gpsd. An open connection is closed first.
    int open(const char *host = nullptr, const char *port = nullptr);

    // Asks gpsd to stream reports (kWatchFlags, all devices); negative on failure.
    int stream();

    // True when a complete line has arrived within timeoutUsec microseconds,
    // or gpsd has closed the connection (read() then reports the error).
    bool waiting(int timeoutUsec);

    // Hands on the next line as one report. Returns -1 on a read error, when
    // gpsd has closed the connection or when it is not open; 0 when no
    // complete line has arrived yet (out then carries an empty mask);
    // otherwise the length of the line with its end.
    int read(SGpsReport &out);

    void close();
    bool isOpen() const { return m_open; }

    // Text of an open() error code.
    static QString errorText(int code);

    // Parses one gpsd JSON line (trailing line end allowed) with libgps's own
    // parser, as read() would have received it from a fresh connection.
    // Returns false and an empty report when the line is not a well-formed
    // JSON object.
    static bool unpack(const QByteArray &jsonLine, SGpsReport &out);

    // Lines (JSON and NMEA) as read() hands them on from a fresh connection,
    // one report each, the fallback for receivers without sky reports included.
    static QVector<SGpsReport> unpackLines(const QList<QByteArray> &lines);

    // Satellites used and HDOP of a GGA sentence with a valid checksum and a
    // fix (quality above 0), any talker; false when it carries no such values.
    static bool ggaValues(const QByteArray &sentence, int &satellites, double &hdop);

    // A receiver counts as sending no sky reports when gpsd has sent none
    // for this long of its fix time; from then on the GGA sentences stand in.
    static constexpr double kSkyGraceSec = 5.0;

private:
    enum class Parse { NotJson, Parsed, Refused };
    static Parse parseLine(const QByteArray &line, gps_data_t &data);
    void receive();
    bool takeLine(QByteArray *line);
    void handleLine(const QByteArray &line, SGpsReport &out);
    void resetState();

    std::unique_ptr<gps_data_t> m_data;
    std::unique_ptr<gps_data_t> m_scratch; // a line is parsed here and kept only if it parses
    QByteArray m_input;                    // received, not yet handed on
    bool m_discarding = false;             // inside an over-long line: dropped up to its end
    bool m_ended = false;                  // gpsd closed the connection, or it failed
    bool m_open = false;
    // Fix time of gpsd's latest TPV, and of the TPV before the latest sky
    // report (or of the first TPV while none came): NaN while unknown.
    double m_lastFixTime;
    double m_skyFixTime;
};

#endif // CGPSDCLIENT_H
