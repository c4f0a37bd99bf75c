#pragma once

#include "console/uniquefd.h"
#include "outputschedule.h"
#include "slaveoptions.h"
#include "trafficlog.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace console
{
class StopSignals;
}

namespace simulator
{

class SlaveDevice;

// What a run of the simulator has seen.
struct Totals {
    std::uint64_t requests = 0;   // bursts received, each printed as one "request" line
    std::uint64_t replies = 0;    // replies written to the end, faults included
    std::uint64_t collisions = 0; // requests that began before the last reply ended on the line
    std::uint64_t shortGaps = 0;  // requests that began within the frame gap after a reply
};

// The simulator's loop: reads requests from the master side of the port, hands them to the
// device and writes the replies, keeping the line's time when the options ask for it.
//
// It waits in one poll for the port, the stop signals and one timer on the monotonic clock,
// which is always set to the next absolute deadline (the end of a request, a byte falling
// due, a blocked write giving up). Lateness of one wake-up is therefore never carried into
// the next byte.
class RequestServer
{
public:
    // Throws std::system_error when the timer cannot be made.
    RequestServer(const SlaveOptions &options, int master, SlaveDevice &device,
                  console::StopSignals &stop);

    // Serves until a stop signal comes; returns its number. Throws std::system_error when the
    // port fails.
    int run();

    const Totals &totals() const { return m_totals; }

private:
    void finishFrameIfDue(Clock::time_point now);
    void handleFrame(Clock::time_point frameEnd);
    void checkSpacing(Clock::time_point arrival);
    std::vector<std::uint8_t> withFaults(std::vector<std::uint8_t> reply);
    Clock::time_point queueReply(std::vector<std::uint8_t> reply, Clock::time_point start);
    serial::CommSettings atMasterSpeed(bool sending) const;
    void readInput(Clock::time_point now);
    void writeDue(Clock::time_point now);
    std::optional<Clock::time_point> nextDeadline() const;
    void armTimer(std::optional<Clock::time_point> deadline);

    const SlaveOptions &m_options;
    int m_master;
    SlaveDevice &m_device;
    console::StopSignals &m_stop;
    TrafficLog m_log;
    console::UniqueFd m_timer;
    std::optional<Clock::time_point> m_armed;

    std::chrono::nanoseconds m_frameGap;
    std::chrono::nanoseconds m_replyWait; // from the end of a request to its reply

    std::vector<std::uint8_t> m_inbox;  // the request being received
    Clock::time_point m_firstArrival{}; // when its first character began on the line
    Clock::time_point m_lastArrival{};  // when its last character ended on the line
    Clock::time_point m_inputLineEnd{}; // when the last character read ends on the line

    OutputSchedule m_output;
    std::optional<Clock::time_point> m_lineFree; // when the last reply ends on the line
    std::optional<Clock::time_point> m_blockedSince;
    std::uint64_t m_repliesBuilt = 0;
    Totals m_totals;
};

} // namespace simulator
