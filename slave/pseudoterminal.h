#pragma once

#include "console/uniquefd.h"

#include <string>

namespace simulator
{

// A new pseudo-terminal. Programs open devicePath() as if it were a serial port; the simulator
// reads and writes masterFd(), which is non-blocking.
//
// The device side is set to raw mode with echo off. Held, the object keeps a descriptor of it
// open for its whole life: without it the master reports a hang-up (and reads fail with EIO)
// whenever no other program has the device open, and a poll loop on it would spin. Not held,
// that hang-up tells whether anyone has the device open, and what is written to the master
// while nobody has is discarded; the device's settings stay for the next program to open it.
class PseudoTerminal
{
public:
    enum class Device { Held, NotHeld };

    // Throws std::system_error when the system refuses a step.
    explicit PseudoTerminal(Device device = Device::Held);

    int masterFd() const { return m_master.get(); }
    const std::string &devicePath() const { return m_devicePath; }

private:
    console::UniqueFd m_master;
    console::UniqueFd m_heldDevice;
    std::string m_devicePath;
};

} // namespace simulator
