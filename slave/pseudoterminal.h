#pragma once

#include "console/uniquefd.h"

#include <string>

namespace simulator
{

// A new pseudo-terminal. Programs open devicePath() as if it were a serial port; the simulator
// reads and writes masterFd(), which is non-blocking.
//
// The object keeps a descriptor of the device side open for its whole life, in raw mode with
// echo off. Without it the master reports a hang-up (and reads fail with EIO) whenever no other
// program has the device open, and a poll loop on it would spin.
class PseudoTerminal
{
public:
    // Throws std::system_error when the system refuses a step.
    PseudoTerminal();

    int masterFd() const { return m_master.get(); }
    const std::string &devicePath() const { return m_devicePath; }

private:
    console::UniqueFd m_master;
    console::UniqueFd m_heldDevice;
    std::string m_devicePath;
};

} // namespace simulator
