#include "sniff/readonlyport.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>

namespace sniff
{

namespace
{

struct Rate {
    qint32 baud;
    speed_t code;
};

constexpr Rate kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

QString reasonOf(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QString remedyForOpen(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("Plug the adapter in, or name another port.");
    case EACCES:
    case EPERM:
        return QStringLiteral("Join the group that owns the device (dialout on Debian) and log "
                              "in again.");
    case EBUSY:
        return QStringLiteral("Another program holds the port exclusively.");
    default:
        return QStringLiteral("Name another port.");
    }
}

// Applies the line settings in raw mode without asking anything of the modem lines.
bool configure(int fd, const serial::CommSettings &settings, QString &reason)
{
    speed_t code = 0;
    bool found = false;
    for (const Rate &rate : kRates) {
        if (rate.baud == settings.baudRate) {
            code = rate.code;
            found = true;
        }
    }
    if (!found) {
        reason = QStringLiteral("%1 baud is no standard rate: give one such as 9600, 19200 or "
                                "115200.")
                     .arg(settings.baudRate);
        return false;
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        reason = QStringLiteral("%1; it is no serial device.").arg(reasonOf(errno));
        return false;
    }
    ::cfmakeraw(&t);
    t.c_iflag &= ~tcflag_t(IXOFF | IXON | IXANY | INPCK);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | HUPCL | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    switch (settings.dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    using Parity = serial::CommSettings::Parity;
    switch (settings.parity) {
    case Parity::None:
        break;
    case Parity::Even:
        t.c_cflag |= PARENB;
        break;
    case Parity::Odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case Parity::Mark:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case Parity::Space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    // 1.5 stop bits: the UART gives them for 5 data bits when asked for two.
    if (settings.stopBits != serial::CommSettings::StopBits::One)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, code);
    ::cfsetospeed(&t, code);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        reason = QStringLiteral("the device refuses the settings (%1).").arg(reasonOf(errno));
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<ReadOnlyPort>
ReadOnlyPort::open(const QString &devicePath, const serial::CommSettings &settings, QString *error)
{
    const auto failWith = [&](const QString &text) {
        if (error)
            *error = text;
        return nullptr;
    };
    console::UniqueFd fd(::open(QFile::encodeName(devicePath).constData(),
                                O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        const int number = errno;
        return failWith(QStringLiteral("Cannot open %1: %2. %3")
                            .arg(devicePath, reasonOf(number), remedyForOpen(number)));
    }
    QString reason;
    if (!::isatty(fd.get()))
        return failWith(QStringLiteral("Cannot listen on %1: it is no serial device. Name a "
                                       "port such as /dev/ttyUSB0.")
                            .arg(devicePath));
    if (!configure(fd.get(), settings, reason))
        return failWith(QStringLiteral("Cannot listen on %1: %2").arg(devicePath, reason));
    std::unique_ptr<ReadOnlyPort> port(new ReadOnlyPort(std::move(fd), devicePath));
    port->m_lowLatencyResult = port->m_lowLatency.request(port->fd());
    return port;
}

ReadOnlyPort::ReadOnlyPort(console::UniqueFd fd, QString devicePath)
    : m_fd(std::move(fd)), m_devicePath(std::move(devicePath))
{
}

ReadOnlyPort::~ReadOnlyPort()
{
    m_lowLatency.restore();
}

} // namespace sniff
