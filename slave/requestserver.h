#pragma once

#include "console/uniquefd.h"
#include "masterport.h"
#include "outputschedule.h"
#include "slaveoptions.h"
#include "trafficlog.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace console
{
class StopSignals;
}

namespace simulator
{

class SlaveDevice;
class TapWriter;
class TcpListener;

// What a run of the simulator has seen.
struct Totals {
    std::uint64_t requests = 0;   // bursts received, each printed as one "request" line
    std::uint64_t replies = 0;    // replies written to the end, faults included
    std::uint64_t collisions = 0; // requests that began before the last reply ended on the line
    std::uint64_t shortGaps = 0;  // requests that began within the frame gap after a reply
    std::uint64_t clients = 0;    // TCP clients served
    std::uint64_t refused = 0;    // TCP clients turned away while another was connected
};

// Where the masters and the tap are: any of them may be missing.
struct ServerEnds {
    int pseudoTerminal = -1; // its master side, non-blocking
    TcpListener *tcp = nullptr;
    TapWriter *tap = nullptr;
};

// The simulator's loop: reads requests from the masters, hands them to the device and writes
// the replies, keeping the line's time when the options ask for it; a tap hears it all.
//
// It waits in one poll for the ports, the stop signals and one timer on the monotonic clock,
// which is always set to the next absolute deadline (the end of a request, a byte falling
// due, a blocked write giving up). Lateness of one wake-up is therefore never carried into
// the next byte. One TCP client is served at a time; another that connects meanwhile is
// closed at once, unless the first has closed its sending side and only waits for its
// replies: then the next one waits for it to finish.
class RequestServer
{
public:
    // Throws std::system_error when the timer cannot be made.
    RequestServer(const SlaveOptions &options, SlaveDevice &device, console::StopSignals &stop,
                  ServerEnds ends);
    RequestServer(const RequestServer &) = delete; // it points into itself
    RequestServer &operator=(const RequestServer &) = delete;

    // Serves until a stop signal comes; returns its number. Throws std::system_error when the
    // pseudo-terminal fails.
    int run();

    const Totals &totals() const { return m_totals; }

private:
    void finishFrameIfDue(MasterPort &port, Clock::time_point now);
    void handleFrame(MasterPort &port, Clock::time_point frameEnd);
    void checkSpacing(const MasterPort &port, Clock::time_point arrival);
    std::vector<std::uint8_t> withFaults(std::vector<std::uint8_t> reply);
    Clock::time_point queueReply(MasterPort &port, std::vector<std::uint8_t> reply,
                                 Clock::time_point start);
    serial::CommSettings atMasterSpeed(const MasterPort &port, bool sending) const;
    void readInput(MasterPort &port, Clock::time_point now);
    void take(MasterPort &port, std::span<const std::uint8_t> bytes, Clock::time_point now);
    void writeDue(MasterPort &port, Clock::time_point now);
    void acceptClient();
    void takeClient(console::UniqueFd client, const std::string &peer);
    void disconnect(MasterPort &port, const std::string &why);
    std::optional<Clock::time_point> nextDeadline() const;
    void armTimer(std::optional<Clock::time_point> deadline);

    const SlaveOptions &m_options;
    SlaveDevice &m_device;
    console::StopSignals &m_stop;
    TcpListener *m_listener;
    TapWriter *m_tap;
    TrafficLog m_log;
    console::UniqueFd m_timer;
    std::optional<Clock::time_point> m_armed;

    std::chrono::nanoseconds m_frameGap;
    std::chrono::nanoseconds m_replyWait; // from the end of a request to its reply

    std::optional<MasterPort> m_terminalPort;
    std::optional<MasterPort> m_tcpPort;
    console::UniqueFd m_client; // the TCP client's connection
    console::UniqueFd m_next;   // the client after it, waiting for it to finish
    std::string m_nextPeer;
    std::vector<MasterPort *> m_ports;

    std::uint64_t m_repliesBuilt = 0;
    Totals m_totals;
};

} // namespace simulator
