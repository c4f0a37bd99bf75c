#pragma once

#include <string>

namespace bench
{

enum class Verdict {
    None, // a figure for the record, no target
    Met,
    Missed, // the target was missed, or the figure could not be measured
};

// One line of the results table. scripts/bench.sh collects the lines of every benchmark program
// from standard output and prints them as one table; everything else goes to standard error.
struct Row {
    std::string figure;
    std::string ours;
    std::string reference; // "-" when there is no reference
    std::string ratio;     // ours / reference, "-" without a reference
    std::string target;    // "-" for the record
    Verdict verdict = Verdict::None;
};

// Prints "ROW<tab>figure<tab>ours<tab>reference<tab>ratio<tab>target<tab>verdict".
void printRow(const Row &row);
// A note printed under the table ("NOTE<tab>text").
void printNote(const std::string &text);

Verdict verdictOf(bool met);

// A number with the given digits after the point, then the unit (if any) after a space.
std::string fixed(double value, int decimals, const std::string &unit = {});
// A duration given in milliseconds: in ms with about three significant digits, in s from 10 s.
std::string duration(double milliseconds);
// ours / reference: "0.97", or "1/450" when ours is the smaller; "-" when either is not positive.
std::string ratioText(double ours, double reference);

} // namespace bench
