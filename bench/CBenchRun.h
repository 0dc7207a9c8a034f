#ifndef CBENCHRUN_H
#define CBENCHRUN_H

#include <QMap>
#include <QString>
#include <QTextStream>

class CBenchDrive;

// The daemon against the smallest libgps client (vorlan-bench-client) on
// the same gpsfake replay of a receiver profile (vorlan-nmea-drive
// --profile, --rate), played in real time, in three measurements:
//   latency  fix age: a TPV report leaving gpsd (stamped by a passive
//            observer on its own socket) to sigActualGpsData on the bus, and
//            to the client's line for the same fix; epochs played, seen and
//            published; the growth of the fix age over the run; CPU time of
//            both and the peak RSS;
//   cost     instructions (callgrind) of both over a drive ("drive") and
//            over the same time with gpsd but no receiver ("idle");
//   table    the figures of the phases, one column pair per profile.
// Each phase writes its figures as "key=value" lines, the keys of a drive
// prefixed with its label ("multi10.latency.daemon.p95_ms"). The phases
// that run the daemon must run inside scripts/sandbox-run.
class CBenchRun
{
public:
    using Figures = QMap<QString, QString>;

    struct Options {
        QString profile = QStringLiteral("gps"); // receiver profile of the drive
        int rateHz = 1;                          // epochs per second: 1, 5 or 10
        int seconds = 180;                       // played (latency) or measured (cost) in real time
        int warmupSeconds = 5;                   // first seconds of epochs left out of the fix ages
        QString workDir;                         // callgrind files go here
    };

    explicit CBenchRun(const Options &options) : m_options(options) {}

    // "gps1", "multi10": the prefix of this drive's figures.
    QString label() const;

    Figures latency();
    Figures cost(bool idle);
    QString error() const { return m_error; }

    static void printTable(const Figures &figures, QTextStream &out);
    static bool writeFigures(const Figures &figures, const QString &path);
    static Figures readFigures(const QString &path);
    // The total instruction count of a callgrind output file; -1 if none.
    static qint64 callgrindTotal(const QString &path);

private:
    bool makeDrive(const QString &path, CBenchDrive *drive, double *cycleSec);

    Options m_options;
    QString m_error;
};

#endif // CBENCHRUN_H
