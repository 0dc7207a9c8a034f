#ifndef CBENCHRUN_H
#define CBENCHRUN_H

#include <QMap>
#include <QString>
#include <QTextStream>

// The daemon against the smallest libgps client (vorlan-bench-client) on
// the same gpsfake replay, in three measurements:
//   latency  a TPV report leaving gpsd (stamped by a passive observer on its
//            own socket) to sigActualGpsData on the bus, and to the client's
//            line for the same fix; also the peak RSS of both;
//   cost     instructions (callgrind) of both over a drive ("drive") and
//            over the same time with gpsd but no receiver ("idle");
//   table    the figures of the phases side by side, with ratios.
// Each phase writes its figures as "key=value" lines. The phases that run
// the daemon must run inside scripts/sandbox-run.
class CBenchRun
{
public:
    using Figures = QMap<QString, QString>;

    struct Options {
        int latencyEpochs = 120;     // 1 Hz epochs played in real time
        int warmupEpochs = 5;        // first matched epochs left out
        int costSeconds = 180;       // measured time of each cost run
        int costEpochs = 1000;       // length of the cost drive
        double costEpochsPerSec = 1; // replay pace of the cost drive
        QString workDir;             // callgrind files go here
    };

    explicit CBenchRun(const Options &options) : m_options(options) {}

    Figures latency();
    Figures cost(bool idle);
    QString error() const { return m_error; }

    static void printTable(const Figures &figures, QTextStream &out);
    static bool writeFigures(const Figures &figures, const QString &path);
    static Figures readFigures(const QString &path);
    // The total instruction count of a callgrind output file; -1 if none.
    static qint64 callgrindTotal(const QString &path);

private:
    Options m_options;
    QString m_error;
};

#endif // CBENCHRUN_H
