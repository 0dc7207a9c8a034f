// vorlan-bench-client: the smallest useful libgps client, the baseline the
// daemon is measured against. It opens gpsd, asks for the same stream as the
// daemon (JSON, NMEA, raw), and reads every report as soon as it arrives.
// For each epoch it prints one line when it first holds a complete fix
// (time, position, altitude, speed), stamped with CLOCK_REALTIME:
//
//   FIX <realtime ns> <fix time ms since 1970> <latitude> <longitude>
//
// It ends on SIGTERM/SIGINT, after --idle-exit seconds without data, or
// when gpsd closes the connection, and then prints
//
//   END <reports read> <fixes> <peak RSS kB>

#include <gps.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>

namespace
{
// The daemon's streaming flags: WATCH_ENABLE, WATCH_JSON, WATCH_NMEA, WATCH_RARE, WATCH_RAW.
constexpr unsigned int kDaemonWatchFlags = 0xf1;
// Short waits keep the stop flag responsive; data wakes the wait at once.
constexpr int kWaitUsec = 100000;
constexpr int kUsecPerSec = 1000000;
constexpr int kBufferBytes = 8192;

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

long long realtimeNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // kB on Linux
}

void usage(const char *self)
{
    std::fprintf(stderr,
                 "usage: %s [--host H] [--port P] [--idle-exit SECONDS] [--quiet]\n"
                 "  --quiet  count fixes without printing a line for each\n",
                 self);
}
} // namespace

int main(int argc, char **argv)
{
    const char *host = "127.0.0.1";
    const char *port = DEFAULT_GPSD_PORT;
    double idleExitSec = 0.0; // 0: never
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--host" && i + 1 < argc) {
            host = argv[++i];
        } else if (arg == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else if (arg == "--idle-exit" && i + 1 < argc) {
            idleExitSec = std::atof(argv[++i]);
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            usage(argv[0]);
            return 2;
        }
    }

    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    gps_data_t data{};
    if (gps_open(host, port, &data) != 0) {
        std::fprintf(stderr, "gps_open: %s\n", gps_errstr(errno));
        return 1;
    }
    if (gps_stream(&data, kDaemonWatchFlags, nullptr) < 0) {
        std::fprintf(stderr, "gps_stream failed\n");
        gps_close(&data);
        return 1;
    }

    static char message[kBufferBytes];
    long long reports = 0;
    long long fixes = 0;
    long long lastFixMs = -1;
    double idleSec = 0.0;
    while (!g_stop) {
        if (!gps_waiting(&data, kWaitUsec)) {
            idleSec += double(kWaitUsec) / kUsecPerSec;
            if (idleExitSec > 0.0 && idleSec >= idleExitSec)
                break;
            continue;
        }
        idleSec = 0.0;
        data.set = 0;
        if (gps_read(&data, message, sizeof message) == -1)
            break; // gpsd went away
        ++reports;
        const gps_mask_t complete = TIME_SET | LATLON_SET | ALTITUDE_SET | SPEED_SET;
        if ((data.set & complete) != complete || data.fix.mode < MODE_2D || !std::isfinite(data.fix.altMSL))
            continue;
        const long long fixMs =
            static_cast<long long>(data.fix.time.tv_sec) * 1000LL + data.fix.time.tv_nsec / 1000000L;
        // gpsd may report an epoch more than once; its first complete report counts.
        if (fixMs == lastFixMs)
            continue;
        lastFixMs = fixMs;
        ++fixes;
        if (!quiet) {
            std::printf("FIX %lld %lld %.9f %.9f\n", realtimeNs(), fixMs, data.fix.latitude,
                        data.fix.longitude);
            std::fflush(stdout);
        }
    }
    gps_close(&data);
    std::printf("END %lld %lld %ld\n", reports, fixes, peakRssKb());
    std::fflush(stdout);
    return 0;
}
