#include "serial/terminalprobe.h"

#include <QFile>
#include <QStringList>

#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace serial
{

namespace
{

QString kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return QStringLiteral("a regular file");
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    return QStringLiteral("a device that is not a terminal");
}

CommError notATerminal(const QString &label, const QString &path, mode_t mode)
{
    return CommError::make(CommError::NotATerminal,
                           QStringLiteral("%1: %2 is %3, not a serial device; nothing was written "
                                          "to it. Choose another port, or point the port's link "
                                          "at a serial device.")
                               .arg(label, path, kindOf(mode)));
}

QString groupName(gid_t gid)
{
    group entry{};
    group *found = nullptr;
    char buffer[4096];
    if (getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

CommError permissionDenied(const QString &label, const QString &path, const struct stat &info)
{
    const QString group = groupName(info.st_gid);
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        return CommError::make(
            CommError::PermissionDenied,
            QStringLiteral("%1: permission denied on %2, which belongs to the group %3. Add your "
                           "user to that group (usually dialout: sudo usermod -aG %3 $USER), then "
                           "log out and log in again.")
                .arg(label, path, group));
    return CommError::make(CommError::PermissionDenied,
                           QStringLiteral("%1: permission denied on %2 (group %3, which may not "
                                          "read and write it). Ask an administrator to give your "
                                          "user read and write access to the device.")
                               .arg(label, path, group));
}

CommError inUse(const QString &label, const QString &path)
{
    return CommError::make(CommError::PortInUse,
                           QStringLiteral("%1: %2 is in use: another program holds it. Close "
                                          "that program, then open the port again.")
                               .arg(label, path));
}

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

TerminalProbe::~TerminalProbe()
{
    close();
}

void TerminalProbe::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

CommError TerminalProbe::open(const QString &portLabel, const QString &path)
{
    close();
    const QByteArray native = QFile::encodeName(path);
    struct stat info {
    };
    if (::stat(native.constData(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return CommError::make(CommError::NoSuchPort,
                                   QStringLiteral("%1: %2 does not exist any more. Plug the device "
                                                  "in, or choose another port.")
                                       .arg(portLabel, path));
        if (error == ELOOP)
            return CommError::make(CommError::NotATerminal,
                                   QStringLiteral("%1: %2 is a loop of symbolic links, not a "
                                                  "serial device; nothing was written to it. "
                                                  "Choose another port, or point the port's link "
                                                  "at a serial device.")
                                       .arg(portLabel, path));
        if (error == EACCES)
            return CommError::make(CommError::PermissionDenied,
                                   QStringLiteral("%1: permission denied on a directory on the way "
                                                  "to %2. Ask an administrator for access.")
                                       .arg(portLabel, path));
        return CommError::make(
            CommError::OpenFailed,
            QStringLiteral("%1: cannot open %2: %3").arg(portLabel, path, systemMessage(error)));
    }
    if (!S_ISCHR(info.st_mode))
        return notATerminal(portLabel, path, info.st_mode);

    // Opening some character devices has effects of its own (a watchdog starts counting), so
    // a device no terminal driver owns is refused without being opened.
    QFile drivers(QStringLiteral("/proc/tty/drivers"));
    if (drivers.open(QIODevice::ReadOnly)) {
        const QString listing = QString::fromLatin1(drivers.readAll());
        if (!listing.isEmpty() &&
            !isTerminalDeviceNumber(listing, major(info.st_rdev), minor(info.st_rdev)))
            return notATerminal(portLabel, path, info.st_mode);
    }

    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case EACCES:
        case EPERM:
            return permissionDenied(portLabel, path, info);
        case EBUSY:
            return inUse(portLabel, path);
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return CommError::make(CommError::NoSuchPort,
                                   QStringLiteral("%1: %2 has no device behind it (%3). Plug the "
                                                  "device in, or choose another port.")
                                       .arg(portLabel, path, systemMessage(error)));
        default:
            return CommError::make(CommError::OpenFailed,
                                   QStringLiteral("%1: cannot open %2: %3")
                                       .arg(portLabel, path, systemMessage(error)));
        }
    }
    struct termios2 line {
    };
    if (!::isatty(fd) || ::ioctl(fd, TCGETS2, &line) != 0) {
        ::close(fd);
        return notATerminal(portLabel, path, info.st_mode);
    }
    m_fd = fd;
    return {};
}

bool isTerminalDeviceNumber(const QString &driversListing, unsigned major, unsigned minor)
{
    const QStringList lines = driversListing.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() < 4)
            continue;
        bool ok = false;
        const unsigned driverMajor = fields[2].toUInt(&ok);
        if (!ok || driverMajor != major)
            continue;
        const QStringList range = fields[3].split(QLatin1Char('-'));
        bool lowOk = false;
        bool highOk = range.size() == 1;
        const unsigned low = range[0].toUInt(&lowOk);
        const unsigned high = range.size() == 2 ? range[1].toUInt(&highOk) : low;
        if (lowOk && highOk && range.size() <= 2 && minor >= low && minor <= high)
            return true;
    }
    return false;
}

std::optional<CommSettings> lineInForce(int fd)
{
    struct termios2 line {
    };
    if (fd < 0 || ::ioctl(fd, TCGETS2, &line) != 0)
        return std::nullopt;
    CommSettings settings;
    settings.baudRate = static_cast<qint32>(line.c_ospeed);
    switch (line.c_cflag & CSIZE) {
    case CS5:
        settings.dataBits = 5;
        break;
    case CS6:
        settings.dataBits = 6;
        break;
    case CS7:
        settings.dataBits = 7;
        break;
    default:
        settings.dataBits = 8;
        break;
    }
    if (!(line.c_cflag & PARENB))
        settings.parity = CommSettings::Parity::None;
    else if (line.c_cflag & CMSPAR)
        settings.parity =
            (line.c_cflag & PARODD) ? CommSettings::Parity::Mark : CommSettings::Parity::Space;
    else
        settings.parity =
            (line.c_cflag & PARODD) ? CommSettings::Parity::Odd : CommSettings::Parity::Even;
    settings.stopBits =
        (line.c_cflag & CSTOPB) ? CommSettings::StopBits::Two : CommSettings::StopBits::One;
    return settings;
}

} // namespace serial
