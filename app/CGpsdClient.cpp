// libgps versions, and how this adapter keeps them apart from the daemon.
//
// The daemon was first written against the board's older libgps
// (libgps.so.20): fix.time a double, fix.altitude the altitude above mean sea
// level taken from GGA, the geoid separation in gps_data_t.separation,
// gps_read() without a buffer.
// libgps 3.22 (API 11) changed all four:
//
//   fix time      fix.time is a struct timespec; the report carries
//                 tv_sec + tv_nsec / 1e9 as double seconds.
//   altitude      fix.altitude is deprecated and undefined. The report takes
//                 fix.altMSL, the same quantity as before: GGA delivers height
//                 above mean sea level, and gpsd 3.22 still emits its old
//                 "alt" member as altMSL. fix.altHAE (above the ellipsoid)
//                 would move every stored altitude by the geoid separation.
//                 If only altHAE is known, altHAE - geoid_sep is used, the
//                 relation gps.h documents.
//   separation    now fix.geoid_sep.
//   gps_read      takes a buffer for the raw line; not used, see below.
//
// Mask bits: SGpsReport numbers its own bits; gpsd's are mapped as follows.
//
//   PACKET_SET      <- PACKET_SET; gps_read sets it for every complete line,
//                      JSON or NMEA, so an NMEA line is a report with only
//                      this bit, as before.
//   STATUS_SET      <- STATUS_SET, which 3.22 still sets on every TPV, or
//                      MODE_SET, which every TPV carries as well.
//   TIME_SET, DEVICE_SET, DEVICELIST_SET, DEVICEID_SET, LATLON_SET,
//   SPEED_SET       <- the bit of the same name.
//   ALTITUDE_SET    <- ALTITUDE_SET, and only when the sea-level altitude
//                      above is finite: 3.22 also sets it for an altHAE
//                      alone, which the old "alt" never implied.
//   DOP_SET         <- DOP_SET, or SATELLITE_SET with a finite HDOP: 3.22
//                      flags a SKY report with SATELLITE_SET only.
//   OTHER_SET       <- any other gpsd bit. A report counts as "only the
//                      packet mark" exactly when gpsd flagged nothing else,
//                      so VERSION, WATCH or SKY lines stay distinct from an
//                      NMEA line.
//
// Parsing: gps_unpack() returns 0 even for garbage, and it repeats the
// parse until the parser returns -1 or has consumed the line. For some
// malformed objects (an unknown array inside a device, a class tag that
// only occurs in a nested object) the parser returns another error without
// consuming anything, and gps_unpack() spins forever. gps_read() runs that
// loop on every line, so one such line from whatever answers on gpsd's port
// would stop the daemon for good. This class therefore reads the socket
// itself: lines are cut at their end, at most kMaxLineBytes long (longer
// ones are dropped up to their end and handed on empty, since gps_read()
// could never deliver them either), checked as JSON and given to the
// one-object parser behind gps_unpack(), libgps_json_unpack(), exactly once.
// A partial line waits for its end: waiting() is true only for a whole line.
// Like gps_read(), every line handed on carries the packet mark, and the
// connection's state (satellites, DOP) carries over from line to line; a
// line the parser refuses leaves that state as it was.
//
// Receivers without satellite sentences: gpsd builds its SKY report from GSA
// and GSV. A receiver set to send only GGA and RMC gets 3D fixes but never a
// SKY report, so no fix would ever be complete, although every GGA carries
// the satellites used and the HDOP, and gpsd passes it through (WATCH_NMEA).
// Once gpsd has sent no SKY report for kSkyGraceSec of fix time (counted from
// the first TPV while none came), each valid GGA line sets the connection's
// satellites and HDOP and is flagged like a SKY report; the first SKY report
// ends that at once. Counting fix time rather than reports keeps a receiver
// that sends its satellite sentences only every few epochs (some send them
// every third second, or once a second at 5 or 10 Hz) on gpsd's values; a
// receiver that stops sending them falls back after the grace time, during
// which gpsd's last values stand.

#include <gps.h>

#if GPSD_API_MAJOR_VERSION < 9
#error "CGpsdClient expects libgps API 9 or later (timespec fix time, altMSL, geoid_sep)"
#endif

// Exported by libgps and called by gps_unpack(), but declared only in
// gpsd's internal headers. Returns 0 on success, -1 for an unknown or
// missing class, a positive JSON error code otherwise.
extern "C" int libgps_json_unpack(const char *buf, struct gps_data_t *gpsdata, const char **end);

#include <cerrno>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace gpsd
{
// gpsd's mask bits, captured before the macros are removed: our own
// SGpsReport constants carry the same names.
constexpr gps_mask_t kPacket = PACKET_SET;
constexpr gps_mask_t kStatus = STATUS_SET;
constexpr gps_mask_t kMode = MODE_SET;
constexpr gps_mask_t kTime = TIME_SET;
constexpr gps_mask_t kDevice = DEVICE_SET;
constexpr gps_mask_t kDeviceList = DEVICELIST_SET;
constexpr gps_mask_t kDeviceId = DEVICEID_SET;
constexpr gps_mask_t kLatLon = LATLON_SET;
constexpr gps_mask_t kAltitude = ALTITUDE_SET;
constexpr gps_mask_t kSpeed = SPEED_SET;
constexpr gps_mask_t kDop = DOP_SET;
constexpr gps_mask_t kSatellite = SATELLITE_SET;
} // namespace gpsd

#undef PACKET_SET
#undef STATUS_SET
#undef TIME_SET
#undef DEVICE_SET
#undef DEVICELIST_SET
#undef DEVICEID_SET
#undef LATLON_SET
#undef ALTITUDE_SET
#undef SPEED_SET
#undef DOP_SET

#include "CGpsdClient.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonParseError>

namespace
{
// gpsd's longest line (a SKY report with every channel in use) stays well
// below this; longer input is no gpsd line.
constexpr int kMaxLineBytes = 8192;
// Taken from the socket at a time.
constexpr int kReceiveBytes = 16384;

QString text(const char *chars, size_t capacity)
{
    return QString::fromUtf8(chars, int(qstrnlen(chars, uint(capacity))));
}

double fixTimeSeconds(const gps_fix_t &fix)
{
    return double(fix.time.tv_sec) + double(fix.time.tv_nsec) / 1e9;
}

double seaLevelAltitude(const gps_data_t &data)
{
    if (std::isfinite(data.fix.altMSL))
        return data.fix.altMSL;
    return data.fix.altHAE - data.fix.geoid_sep; // NaN when either is unknown
}

quint64 ownMask(const gps_data_t &data, double altitude)
{
    struct Bit {
        gps_mask_t gpsd;
        quint64 own;
    };
    static constexpr Bit kSameMeaning[] = {
        {gpsd::kPacket, SGpsReport::PACKET_SET},     {gpsd::kStatus, SGpsReport::STATUS_SET},
        {gpsd::kMode, SGpsReport::STATUS_SET},       {gpsd::kTime, SGpsReport::TIME_SET},
        {gpsd::kDevice, SGpsReport::DEVICE_SET},     {gpsd::kDeviceList, SGpsReport::DEVICELIST_SET},
        {gpsd::kDeviceId, SGpsReport::DEVICEID_SET}, {gpsd::kLatLon, SGpsReport::LATLON_SET},
        {gpsd::kSpeed, SGpsReport::SPEED_SET},       {gpsd::kDop, SGpsReport::DOP_SET},
    };
    const gps_mask_t in = data.set;
    quint64 out = 0;
    gps_mask_t mapped = gpsd::kAltitude;
    for (const Bit &bit : kSameMeaning) {
        if (in & bit.gpsd)
            out |= bit.own;
        mapped |= bit.gpsd;
    }
    if (in & ~mapped)
        out |= SGpsReport::OTHER_SET;
    if ((in & gpsd::kAltitude) && std::isfinite(altitude))
        out |= SGpsReport::ALTITUDE_SET;
    if ((in & gpsd::kSatellite) && std::isfinite(data.dop.hdop))
        out |= SGpsReport::DOP_SET;
    return out;
}

void translate(const gps_data_t &data, SGpsReport &out)
{
    out = SGpsReport();
    out.altitude = seaLevelAltitude(data);
    out.set = ownMask(data, out.altitude);
    out.fixTime = fixTimeSeconds(data.fix);
    out.mode = data.fix.mode;
    out.latitude = data.fix.latitude;
    out.longitude = data.fix.longitude;
    out.separation = data.fix.geoid_sep;
    out.track = data.fix.track;
    out.speed = data.fix.speed;
    out.satellitesUsed = data.satellites_used;
    out.hdop = data.dop.hdop;
    out.driver = text(data.dev.driver, sizeof data.dev.driver);
    out.subtype = text(data.dev.subtype, sizeof data.dev.subtype);
    out.deviceCount = data.devices.ndevices;
    if (data.devices.ndevices > 0) {
        const devconfig_t &first = data.devices.list[0];
        out.devicePath = text(first.path, sizeof first.path);
        out.deviceDriver = text(first.driver, sizeof first.driver);
        out.deviceSubtype = text(first.subtype, sizeof first.subtype);
    }
}

// The state gps_open leaves behind: no fix, no satellites, unknown DOP.
void resetLikeOpen(gps_data_t &data)
{
    std::memset(&data, 0, sizeof data);
    gps_clear_fix(&data.fix);
    data.dop.hdop = SGpsReport::kUnknown;
}
} // namespace

CGpsdClient::CGpsdClient() : m_data(new gps_data_t()), m_scratch(new gps_data_t())
{
    resetState();
}

CGpsdClient::~CGpsdClient()
{
    close();
}

int CGpsdClient::open(const char *host, const char *port)
{
    close();
    const int code = gps_open(host, port, m_data.get());
    m_open = code == 0;
    resetState();
    return code;
}

void CGpsdClient::resetState()
{
    m_input.clear();
    m_discarding = false;
    m_ended = false;
    m_lastFixTime = SGpsReport::kUnknown;
    m_skyFixTime = SGpsReport::kUnknown;
}

int CGpsdClient::stream()
{
    if (!m_open)
        return -1;
    return gps_stream(m_data.get(), kWatchFlags, nullptr);
}

bool CGpsdClient::waiting(int timeoutUsec)
{
    if (!m_open)
        return false;
    QDeadlineTimer deadline((timeoutUsec + 999) / 1000);
    while (!m_ended && !m_input.contains('\n')) {
        pollfd ready{m_data->gps_fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, int(deadline.remainingTime()));
        if (polled > 0)
            receive();
        else if (polled < 0 && errno != EINTR)
            m_ended = true;
        // Bounded also while bytes keep coming without a line end.
        if (deadline.hasExpired() && !m_ended && !m_input.contains('\n'))
            return false;
    }
    return true;
}

int CGpsdClient::read(SGpsReport &out)
{
    out = SGpsReport();
    if (!m_open)
        return -1;
    QByteArray line;
    if (!takeLine(&line)) {
        receive();
        if (!takeLine(&line))
            return m_ended ? -1 : 0;
    }
    handleLine(line, out);
    return int(line.size()) + 1;
}

void CGpsdClient::handleLine(const QByteArray &line, SGpsReport &out)
{
    // Only this line's bits may count; the parser adds to the mask. Most
    // lines are NMEA, which need no copy of the connection's state.
    Parse parsed = Parse::NotJson;
    if (line.trimmed().startsWith('{')) {
        *m_scratch = *m_data;
        m_scratch->set = 0;
        parsed = parseLine(line, *m_scratch);
    }
    if (parsed == Parse::Parsed)
        std::swap(m_data, m_scratch);
    else
        m_data->set = 0;

    gps_data_t &data = *m_data;
    if ((data.set & gpsd::kTime) && (data.set & gpsd::kMode)) {
        m_lastFixTime = fixTimeSeconds(data.fix);
        if (std::isnan(m_skyFixTime))
            m_skyFixTime = m_lastFixTime;
    }
    if (data.set & gpsd::kSatellite)
        m_skyFixTime = m_lastFixTime;
    int satellites = 0;
    double hdop = 0.0;
    if (parsed == Parse::NotJson && m_lastFixTime - m_skyFixTime > kSkyGraceSec &&
        ggaValues(line, satellites, hdop)) {
        data.satellites_used = satellites;
        data.dop.hdop = hdop;
        data.set |= gpsd::kSatellite;
    }
    data.set |= gpsd::kPacket;
    translate(data, out);
}

QVector<SGpsReport> CGpsdClient::unpackLines(const QList<QByteArray> &lines)
{
    CGpsdClient client;
    resetLikeOpen(*client.m_data);
    QVector<SGpsReport> reports(lines.size());
    for (int i = 0; i < lines.size(); ++i)
        client.handleLine(lines[i], reports[i]);
    return reports;
}

bool CGpsdClient::ggaValues(const QByteArray &sentence, int &satellites, double &hdop)
{
    // $ttGGA,time,lat,N,lon,E,quality,satellites,hdop,...*hh; a sentence is
    // at most 82 characters, a little more is tolerated.
    const QByteArray s = sentence.trimmed();
    const int star = s.lastIndexOf('*');
    if (s.size() > 120 || !s.startsWith('$') || s.mid(3, 4) != "GGA," || star < 0 || star + 3 != s.size())
        return false;
    char sum = 0;
    for (int i = 1; i < star; ++i)
        sum ^= s[i];
    bool ok = false;
    if (s.mid(star + 1).toInt(&ok, 16) != quint8(sum) || !ok)
        return false;
    const QList<QByteArray> fields = s.left(star).split(',');
    if (fields.size() < 9 || fields[6].toInt(&ok) <= 0 || !ok)
        return false;
    const int used = fields[7].toInt(&ok);
    if (!ok || used < 0)
        return false;
    const double dilution = fields[8].toDouble(&ok);
    if (!ok || !std::isfinite(dilution) || dilution < 0.0)
        return false;
    satellites = used;
    hdop = dilution;
    return true;
}

void CGpsdClient::receive()
{
    char chunk[kReceiveBytes];
    const ssize_t received = ::recv(m_data->gps_fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (received == 0 || (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
        m_ended = true;
    const char *from = chunk;
    const char *const end = chunk + qMax<ssize_t>(received, 0);
    while (from < end) {
        const char *lineEnd = static_cast<const char *>(std::memchr(from, '\n', size_t(end - from)));
        const char *next = lineEnd ? lineEnd + 1 : end;
        if (!m_discarding)
            m_input.append(from, int(next - from));
        else if (lineEnd)
            m_input.append('\n'); // the over-long line ends here, handed on empty
        m_discarding = m_discarding && !lineEnd;
        from = next;
        const int partial = int(m_input.size()) - (m_input.lastIndexOf('\n') + 1);
        if (partial > kMaxLineBytes) {
            m_input.chop(partial);
            m_discarding = true;
        }
    }
}

bool CGpsdClient::takeLine(QByteArray *line)
{
    const int end = m_input.indexOf('\n');
    if (end < 0)
        return false;
    *line = m_input.left(end);
    m_input.remove(0, end + 1);
    return true;
}

void CGpsdClient::close()
{
    if (!m_open)
        return;
    gps_close(m_data.get());
    m_open = false;
    resetState();
}

QString CGpsdClient::errorText(int code)
{
    return QString::fromLocal8Bit(gps_errstr(code));
}

CGpsdClient::Parse CGpsdClient::parseLine(const QByteArray &rawLine, gps_data_t &data)
{
    const QByteArray line = rawLine.trimmed();
    if (!line.startsWith('{'))
        return Parse::NotJson;
    QJsonParseError error{};
    if (line.size() > kMaxLineBytes || !QJsonDocument::fromJson(line, &error).isObject() ||
        error.error != QJsonParseError::NoError)
        return Parse::Refused;
    const char *end = nullptr;
    // -1 (a class libgps does not know) still counts: gps_read would hand
    // such a line over with only the packet mark.
    return libgps_json_unpack(line.constData(), &data, &end) > 0 ? Parse::Refused : Parse::Parsed;
}

bool CGpsdClient::unpack(const QByteArray &jsonLine, SGpsReport &out)
{
    out = SGpsReport();
    // One structure per thread, reset for every line: it is tens of kB, and
    // allocating and clearing a fresh one cost more than most parses.
    thread_local gps_data_t data;
    resetLikeOpen(data);
    if (parseLine(jsonLine, data) != Parse::Parsed)
        return false;
    // Every line handed on is marked; the parser alone does not mark it.
    data.set |= gpsd::kPacket;
    translate(data, out);
    return true;
}
