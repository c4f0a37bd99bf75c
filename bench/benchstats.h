#pragma once

#include <vector>

namespace bench
{

// Order statistics of a sample; the sample is taken by value and sorted. An empty sample
// gives 0 for every statistic.
double median(std::vector<double> values);
// Nearest rank: the smallest value with at least `percent` % of the sample at or below it.
double percentile(std::vector<double> values, double percent);
double maximum(const std::vector<double> &values);
double minimum(const std::vector<double> &values);

// y = intercept + slope * x by least squares. Fewer than two distinct x give a flat line
// through the mean of y.
struct LinearFit {
    double intercept = 0;
    double slope = 0;
    double at(double x) const { return intercept + slope * x; }
};
LinearFit fitLine(const std::vector<double> &xs, const std::vector<double> &ys);

// CPU time used so far by every thread of this process, in seconds.
double processCpuSeconds();
// A monotonic clock in seconds, for durations only.
double monotonicSeconds();

} // namespace bench
