#include "pseudoterminal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <termios.h>

namespace simulator
{

namespace
{

[[noreturn]] void throwSystemError(const char *what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PseudoTerminal::PseudoTerminal(Device device)
{
    m_master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m_master.valid())
        throwSystemError("cannot create a pseudo-terminal");
    if (::grantpt(m_master.get()) != 0 || ::unlockpt(m_master.get()) != 0)
        throwSystemError("cannot unlock the pseudo-terminal");

    char name[128] = {};
    if (::ptsname_r(m_master.get(), name, sizeof name) != 0)
        throwSystemError("cannot name the pseudo-terminal");
    m_devicePath = name;

    m_heldDevice.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m_heldDevice.valid())
        throwSystemError("cannot open the pseudo-terminal device");

    // Raw: no echo of received bytes, no line editing, no CR/LF translation, 8 data bits.
    termios settings{};
    if (::tcgetattr(m_heldDevice.get(), &settings) != 0)
        throwSystemError("cannot read the pseudo-terminal settings");
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(m_heldDevice.get(), TCSANOW, &settings) != 0)
        throwSystemError("cannot set the pseudo-terminal to raw mode");

    if (device == Device::NotHeld)
        m_heldDevice.reset();

    const int flags = ::fcntl(m_master.get(), F_GETFL);
    if (flags < 0 || ::fcntl(m_master.get(), F_SETFL, flags | O_NONBLOCK) != 0)
        throwSystemError("cannot make the pseudo-terminal non-blocking");
}

} // namespace simulator
