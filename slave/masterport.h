#pragma once

#include "outputschedule.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simulator
{

// One way for a master onto the line: the pseudo-terminal, or the connection of a TCP client.
// Each is a line of its own to the same slaves, with its own time.
struct MasterPort {
    MasterPort(std::string portName, bool isSocket, Delivery delivery)
        : name(std::move(portName)), socket(isSocket), output(std::move(delivery))
    {
    }

    std::string name;        // for the notes: "the master", "TCP client 127.0.0.1:40312"
    bool socket;             // a TCP connection: written with send(), and may end at any time
    int fd = -1;             // not owned; -1 while no client is connected
    bool inputEnded = false; // the client has closed its sending side: no more requests

    std::vector<std::uint8_t> inbox;  // the request being received
    std::size_t cut = 0;              // bytes of it past the longest burst kept, dropped
    Clock::time_point firstArrival{}; // when its first character began on the line
    Clock::time_point lastArrival{};  // when its last character ended on the line
    Clock::time_point inputLineEnd{}; // when the last character read ends on the line

    OutputSchedule output;
    std::optional<Clock::time_point> lineFree; // when the last reply ends on the line
    std::optional<Clock::time_point> blockedSince;
};

} // namespace simulator
