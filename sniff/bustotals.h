#pragma once

#include "sniff/framesplitter.h"

#include <QString>
#include <chrono>
#include <map>
#include <set>
#include <vector>

namespace sniff
{

// What the monitor saw of one slave address.
struct SlaveTotals {
    qint64 requests = 0;   // broadcasts are counted under address 0
    qint64 responses = 0;  // exceptions included
    qint64 exceptions = 0; // responses with 0x80 in the function
    qint64 badCrcs = 0;    // frames either way whose CRC is wrong
    qint64 noReply = 0;    // requests that no response answered
    std::vector<std::chrono::nanoseconds> responseTimes;
};

// Totals per slave address and of the noise, from the splitter's items in order.
class BusTotals
{
public:
    void add(const SplitItem &item);
    // A request still waiting at the end counts as unanswered from here on.
    void finish();

    const std::map<quint8, SlaveTotals> &slaves() const { return m_slaves; }
    qint64 noiseBytes() const { return m_noiseBytes; }
    qint64 noiseRuns() const { return m_noiseRuns; }

    // A table with one line per slave address: requests, responses, exceptions, bad CRCs, no
    // reply, and the minimum, median and maximum response time in milliseconds ("-" without
    // one), then a line with the noise bytes.
    QString summary() const;

private:
    std::map<quint8, SlaveTotals> m_slaves;
    // Requests not yet answered: index, address.
    std::map<qint64, quint8> m_waiting;
    qint64 m_noiseBytes = 0;
    qint64 m_noiseRuns = 0;
};

} // namespace sniff
