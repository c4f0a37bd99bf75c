#include "serial/lowlatency.h"

#include <cerrno>
#include <sys/ioctl.h>

namespace serial
{

namespace
{

int systemControl(int fd, unsigned long request, serial_struct &info)
{
    return ::ioctl(fd, request, &info) == 0 ? 0 : errno;
}

} // namespace

LowLatency::LowLatency(Control control)
    : m_control(control ? std::move(control) : Control(&systemControl))
{
}

LowLatency::Result LowLatency::request(int fd)
{
    restore();
    serial_struct info{};
    if (fd < 0 || m_control(fd, TIOCGSERIAL, info) != 0)
        return Result::Unsupported;
    if (info.flags & ASYNC_LOW_LATENCY)
        return Result::AlreadyOn;
    info.flags |= ASYNC_LOW_LATENCY;
    if (m_control(fd, TIOCSSERIAL, info) != 0)
        return Result::Unsupported;
    m_fd = fd;
    return Result::Granted;
}

void LowLatency::restore()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    // Read afresh: only the flag asked for goes back, whatever else changed meanwhile.
    serial_struct info{};
    if (m_control(fd, TIOCGSERIAL, info) != 0 || !(info.flags & ASYNC_LOW_LATENCY))
        return;
    info.flags &= ~ASYNC_LOW_LATENCY;
    m_control(fd, TIOCSSERIAL, info);
}

} // namespace serial
