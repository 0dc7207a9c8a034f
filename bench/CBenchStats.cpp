#include "CBenchStats.h"

#include <algorithm>
#include <cmath>
#include <limits>

double CBenchStats::percentile(QList<double> values, double percent)
{
    if (values.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    std::sort(values.begin(), values.end());
    const int count = int(values.size());
    const int rank = int(std::ceil(percent / 100.0 * count));
    return values.at(std::clamp(rank - 1, 0, count - 1));
}

double CBenchStats::minimum(const QList<double> &values)
{
    return values.isEmpty() ? std::numeric_limits<double>::quiet_NaN()
                            : *std::min_element(values.begin(), values.end());
}

double CBenchStats::maximum(const QList<double> &values)
{
    return values.isEmpty() ? std::numeric_limits<double>::quiet_NaN()
                            : *std::max_element(values.begin(), values.end());
}

double CBenchStats::slope(const QList<QPair<double, double>> &points)
{
    const int n = int(points.size());
    if (n < 2)
        return 0.0;
    double sx = 0.0;
    double sy = 0.0;
    for (const auto &p : points) {
        sx += p.first;
        sy += p.second;
    }
    const double mx = sx / n;
    const double my = sy / n;
    double sxx = 0.0;
    double sxy = 0.0;
    for (const auto &p : points) {
        sxx += (p.first - mx) * (p.first - mx);
        sxy += (p.first - mx) * (p.second - my);
    }
    return sxx > 0.0 ? sxy / sxx : 0.0;
}
