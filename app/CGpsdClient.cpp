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
//   gps_read      takes a buffer for the raw line; it gets a member buffer.
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
// consuming anything, and gps_unpack() spins forever. unpack() therefore
// checks the line itself and calls the one-object parser behind
// gps_unpack(), libgps_json_unpack(), exactly once. gps_read() runs the same
// loop internally; with gpsd's own well-formed lines it ends after one pass.

#include <gps.h>

#if GPSD_API_MAJOR_VERSION < 9
#error "CGpsdClient expects libgps API 9 or later (timespec fix time, altMSL, geoid_sep)"
#endif

// Exported by libgps and called by gps_unpack(), but declared only in
// gpsd's internal headers. Returns 0 on success, -1 for an unknown or
// missing class, a positive JSON error code otherwise.
extern "C" int libgps_json_unpack(const char *buf, struct gps_data_t *gpsdata, const char **end);

#include <cmath>
#include <cstring>

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

#include <QJsonDocument>
#include <QJsonParseError>

namespace
{
// Raw line buffer for gps_read. gpsd's longest line (a SKY report with every
// channel in use) stays well below this.
constexpr int kMessageBytes = 8192;
// Longer input is no gpsd line; unpack() refuses it before parsing.
constexpr int kMaxLineBytes = kMessageBytes;

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

CGpsdClient::CGpsdClient() : m_data(new gps_data_t()), m_message(kMessageBytes, '\0') {}

CGpsdClient::~CGpsdClient()
{
    close();
}

int CGpsdClient::open(const char *host, const char *port)
{
    close();
    const int code = gps_open(host, port, m_data.get());
    m_open = code == 0;
    return code;
}

int CGpsdClient::stream()
{
    if (!m_open)
        return -1;
    return gps_stream(m_data.get(), kWatchFlags, nullptr);
}

bool CGpsdClient::waiting(int timeoutUsec)
{
    return m_open && gps_waiting(m_data.get(), timeoutUsec);
}

int CGpsdClient::read(SGpsReport &out)
{
    out = SGpsReport();
    if (!m_open)
        return -1;
    // Only this read's bits may count; libgps adds to the mask.
    m_data->set = 0;
    const int result = gps_read(m_data.get(), m_message.data(), int(m_message.size()));
    if (result == -1)
        return -1;
    translate(*m_data, out);
    return result;
}

void CGpsdClient::close()
{
    if (!m_open)
        return;
    gps_close(m_data.get());
    m_open = false;
}

QString CGpsdClient::errorText(int code)
{
    return QString::fromLocal8Bit(gps_errstr(code));
}

bool CGpsdClient::unpack(const QByteArray &jsonLine, SGpsReport &out)
{
    out = SGpsReport();
    const QByteArray line = jsonLine.trimmed();
    if (line.isEmpty() || line.size() > kMaxLineBytes)
        return false;
    QJsonParseError error{};
    if (!QJsonDocument::fromJson(line, &error).isObject() || error.error != QJsonParseError::NoError)
        return false;

    auto data = std::make_unique<gps_data_t>();
    resetLikeOpen(*data);
    const char *end = nullptr;
    // -1 (a class libgps does not know) still counts: gps_read would hand
    // such a line over with only the packet mark.
    if (libgps_json_unpack(line.constData(), data.get(), &end) > 0)
        return false;
    // gps_read marks every line it hands over; the parser alone does not.
    data->set |= gpsd::kPacket;
    translate(*data, out);
    return true;
}
