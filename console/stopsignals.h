#pragma once

#include "console/uniquefd.h"

namespace console
{

// SIGINT, SIGTERM and SIGHUP as readable events: from construction on they are blocked and
// delivered through fd(), so that the main loop can wait for them next to the port and end
// cleanly (no work in a signal handler). SIGPIPE is ignored.
class StopSignals
{
public:
    // Throws std::system_error when the system refuses.
    StopSignals();

    int fd() const { return m_fd.get(); }

    // The number of a pending stop signal, or 0 when none is pending.
    int take();

private:
    UniqueFd m_fd;
};

} // namespace console
