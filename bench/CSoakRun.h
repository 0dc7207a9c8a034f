#ifndef CSOAKRUN_H
#define CSOAKRUN_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

// A long drive through the whole system: a generated 10 Hz drive played
// faster than real time by gpsfake into a real gpsd, the daemon binary, the
// stand-in data service and a peer on a private bus. Meanwhile the daemon's
// resident memory, open descriptors and threads are sampled every second,
// and its log, rotated by size many times over, is collected. Afterwards:
// the samples after the warm-up must be flat, and every call the data
// service received must have the daemon's log line for it.
//
// Runs inside scripts/sandbox-run (the daemon's fixed paths are private there).
class CSoakRun
{
public:
    struct Options {
        int driveSeconds = 1800;    // wall time of the drive
        int warmupSeconds = 120;    // samples before this are not judged
        int rateHz = 10;            // epochs per second of the drive
        double speed = 2.0;         // drive time per wall time
        int logfileSize = 4096;     // bytes; small, to rotate often
        int logfileRedundancy = 40; // copies kept; the collector has that many rotations of slack
        int sampleMs = 1000;
        // Limits over the samples after the warm-up.
        int maxFdGrowth = 3;
        int maxThreadGrowth = 1;
        qint64 maxRssGrowthKb = 8192;
        bool checkRss = true;
        // A command the daemon runs under (e.g. valgrind --tool=massif ...); none by default.
        QStringList wrapper;
        int minRotations = 5;
        int minFixes = 20;
    };

    struct Sample {
        double atSec = 0.0; // since the drive began
        qint64 rssKb = 0;
        int fds = 0;
        int threads = 0;
    };

    struct Trend {
        double first = 0, last = 0, minimum = 0, maximum = 0;
        double slopePerMinute = 0;
        // Median of the last quarter minus median of the first quarter.
        double growth = 0;
    };

    struct Result {
        bool skipped = false;
        QString skipReason;
        QStringList problems; // empty: passed
        QList<Sample> samples;
        Trend rss, fds, threads;
        int judgedSamples = 0;
        int rotations = 0;
        int logLines = 0;
        int fixes = 0;             // SaveGPSData passes of the daemon (line 915)
        int storedRuntime = 0;     // setRuntimeGps calls the data service took
        int storedTrackPoints = 0; // setLogbookDataTracking calls
        int lostLines = 0;         // calls without their log line
        int daemonReconnects = 0;  // gpsd connections dropped by the daemon or by gpsd
        bool answering = false;
        int exitStatus = -1;
    };

    explicit CSoakRun(const Options &options) : m_options(options) {}

    // progress, when set, gets one line per minute of drive.
    Result run(const std::function<void(const QString &)> &progress = {});

    static void printSummary(const Result &result, const Options &options, QTextStream &out);
    static Trend trend(const QList<Sample> &samples, const std::function<double(const Sample &)> &value);

private:
    Options m_options;
};

#endif // CSOAKRUN_H
