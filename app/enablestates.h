#pragma once

#include <array>

// The three states of the controls that follow the port and continuous sending. Every other
// control of the window stays enabled in all three.
enum class ControlState { PortClosed, PortOpen, Continuous };

struct EnableRow {
    const char *control; // objectName
    bool portClosed;
    bool portOpen;
    bool continuous;

    bool enabledIn(ControlState state) const
    {
        switch (state) {
        case ControlState::PortClosed:
            return portClosed;
        case ControlState::PortOpen:
            return portOpen;
        case ControlState::Continuous:
            return continuous;
        }
        return false;
    }
};

// The switched controls, in the order in which a change of state sets them.
inline constexpr std::array<EnableRow, 8> kEnableTable{{
    {"cmdopen", true, false, false},
    {"cmdclose", false, true, false},
    {"cboComPort", true, false, false},
    {"cbospeed", true, false, false},
    {"cboset", true, false, false},
    {"cmdtr", false, true, false},
    {"cont_on", false, true, false},
    {"cont_off", false, false, true},
}};

// The interval of Timer1 in each state: 1 ticks continuous sending, 0 stops it.
constexpr int timerIntervalIn(ControlState state)
{
    return state == ControlState::Continuous ? 1 : 0;
}
