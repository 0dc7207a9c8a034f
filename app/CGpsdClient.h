#ifndef CGPSDCLIENT_H
#define CGPSDCLIENT_H

#include "SGpsReport.h"

#include <QByteArray>
#include <QString>

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

    // True when a report can be read within timeoutUsec microseconds.
    bool waiting(int timeoutUsec);

    // Reads one report into out. Returns -1 on a read error or when the
    // connection is not open; otherwise the libgps result (0: no complete
    // line yet, in which case out carries an empty mask).
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

private:
    std::unique_ptr<gps_data_t> m_data;
    QByteArray m_message; // receives the raw line; libgps wants a buffer for it
    bool m_open = false;
};

#endif // CGPSDCLIENT_H
