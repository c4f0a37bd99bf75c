#include "trafficlog.h"

#include <cstdio>
#include <ctime>

namespace simulator
{

std::string timeStamp()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(now.tv_nsec / 1000000));
    return text;
}

void TrafficLog::bytes(const char *what, std::span<const std::uint8_t> data) const
{
    if (m_quiet)
        return;
    std::string line = timeStamp() + " " + what;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const std::uint8_t byte : data) {
        line += ' ';
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0F];
    }
    std::puts(line.c_str());
}

void TrafficLog::note(const std::string &text) const
{
    if (m_quiet)
        return;
    std::puts((timeStamp() + " " + text).c_str());
}

void TrafficLog::alert(const std::string &text) const
{
    std::puts((timeStamp() + " " + text).c_str());
}

} // namespace simulator
