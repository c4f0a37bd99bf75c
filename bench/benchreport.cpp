#include "bench/benchreport.h"

#include <cmath>
#include <cstdio>

namespace bench
{

void printRow(const Row &row)
{
    const char *verdict = row.verdict == Verdict::Met      ? "met"
                          : row.verdict == Verdict::Missed ? "MISSED"
                                                           : "-";
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", row.figure.c_str(), row.ours.c_str(),
                row.reference.c_str(), row.ratio.c_str(), row.target.c_str(), verdict);
    std::fflush(stdout);
}

void printNote(const std::string &text)
{
    std::printf("NOTE\t%s\n", text.c_str());
    std::fflush(stdout);
}

Verdict verdictOf(bool met)
{
    return met ? Verdict::Met : Verdict::Missed;
}

std::string fixed(double value, int decimals, const std::string &unit)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return unit.empty() ? std::string(buffer) : std::string(buffer) + " " + unit;
}

std::string duration(double milliseconds)
{
    if (milliseconds >= 10000)
        return fixed(milliseconds / 1000, milliseconds < 100000 ? 1 : 0, "s");
    const int decimals = milliseconds < 1 ? 3 : milliseconds < 10 ? 2 : milliseconds < 100 ? 1 : 0;
    return fixed(milliseconds, decimals, "ms");
}

std::string ratioText(double ours, double reference)
{
    if (!(ours > 0) || !(reference > 0))
        return "-";
    const double ratio = ours / reference;
    if (ratio >= 0.95)
        return fixed(ratio, 2);
    const double inverse = 1.0 / ratio;
    return "1/" + fixed(inverse, inverse < 10 ? 1 : 0);
}

} // namespace bench
