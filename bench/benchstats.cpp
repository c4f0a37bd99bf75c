#include "bench/benchstats.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numeric>

namespace bench
{

namespace
{

double clockSeconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double percent)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(percent / 100.0 * double(values.size()));
    const auto index = static_cast<std::size_t>(std::clamp(rank, 1.0, double(values.size())));
    return values[index - 1];
}

double maximum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double minimum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

LinearFit fitLine(const std::vector<double> &xs, const std::vector<double> &ys)
{
    const std::size_t n = std::min(xs.size(), ys.size());
    if (n == 0)
        return {};
    const double meanX = std::accumulate(xs.begin(), xs.begin() + long(n), 0.0) / double(n);
    const double meanY = std::accumulate(ys.begin(), ys.begin() + long(n), 0.0) / double(n);
    double sxx = 0;
    double sxy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sxx += (xs[i] - meanX) * (xs[i] - meanX);
        sxy += (xs[i] - meanX) * (ys[i] - meanY);
    }
    if (sxx == 0)
        return {meanY, 0};
    const double slope = sxy / sxx;
    return {meanY - slope * meanX, slope};
}

double processCpuSeconds()
{
    return clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double monotonicSeconds()
{
    return clockSeconds(CLOCK_MONOTONIC);
}

} // namespace bench
