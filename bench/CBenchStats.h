#ifndef CBENCHSTATS_H
#define CBENCHSTATS_H

#include <QList>
#include <QPair>

// Small statistics over samples: order statistics for latencies, a least
// squares slope for resource samples over time.
class CBenchStats
{
public:
    CBenchStats() = delete;

    // Nearest-rank percentile (0..100) of the values; NaN for none.
    static double percentile(QList<double> values, double percent);
    static double median(const QList<double> &values) { return percentile(values, 50.0); }
    static double minimum(const QList<double> &values);
    static double maximum(const QList<double> &values);
    // Slope of y over x by least squares; 0 for fewer than two distinct x.
    static double slope(const QList<QPair<double, double>> &points);
};

#endif // CBENCHSTATS_H
