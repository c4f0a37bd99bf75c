#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace simulator
{

// Lines of traffic on standard output: "HH:MM:SS.mmm <what> <bytes as hex>", local time,
// upper-case hex digits separated by single spaces. Nothing when quiet, except alerts.
class TrafficLog
{
public:
    explicit TrafficLog(bool quiet) : m_quiet(quiet) {}

    void bytes(const char *what, std::span<const std::uint8_t> data) const;
    void note(const std::string &text) const;
    // "HH:MM:SS.mmm <text>", also when quiet.
    void alert(const std::string &text) const;

private:
    bool m_quiet;
};

// "HH:MM:SS.mmm" of the current local time.
std::string timeStamp();

} // namespace simulator
