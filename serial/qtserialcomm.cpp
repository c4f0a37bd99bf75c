#include "serial/qtserialcomm.h"

#include "serial/latencytimer.h"
#include "serial/systemports.h"
#include "serial/terminalprobe.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>

namespace serial
{

namespace
{

QSerialPort::Parity qtParity(CommSettings::Parity parity)
{
    switch (parity) {
    case CommSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case CommSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case CommSettings::Parity::Mark:
        return QSerialPort::MarkParity;
    case CommSettings::Parity::Space:
        return QSerialPort::SpaceParity;
    case CommSettings::Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(CommSettings::StopBits stopBits)
{
    return stopBits == CommSettings::StopBits::Two ? QSerialPort::TwoStop : QSerialPort::OneStop;
}

// Hands settings to the port; on an open port they take effect at once.
bool applySettings(QSerialPort &port, const CommSettings &settings)
{
    const bool ok = port.setBaudRate(settings.baudRate) &&
                    port.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) &&
                    port.setParity(qtParity(settings.parity)) &&
                    port.setStopBits(qtStopBits(settings.stopBits)) &&
                    port.setFlowControl(QSerialPort::NoFlowControl);
    return ok;
}

// Whether the line in force is the one asked for. A UART runs within a few percent of a
// requested rate, so a rate the driver rounds is accepted.
bool lineMatches(const CommSettings &actual, const CommSettings &wanted)
{
    const bool rateOk =
        actual.baudRate == 0 ||
        std::abs(qint64(actual.baudRate) - wanted.baudRate) * 100 <= qint64(wanted.baudRate) * 3;
    return rateOk && actual.dataBits == wanted.dataBits && actual.parity == wanted.parity &&
           actual.stopBits == wanted.stopBits;
}

QString lineRefused(const QString &label, const QString &path, const CommSettings &wanted,
                    const std::optional<CommSettings> &actual)
{
    QString text = actual ? QStringLiteral("%1: %2 does not take the settings %3; it keeps %4. "
                                           "Choose settings that the device supports.")
                                .arg(label, path, settingsText(wanted), settingsText(*actual))
                          : QStringLiteral("%1: cannot read the settings in force on %2. Choose "
                                           "another port.")
                                .arg(label, path);
    if (path.startsWith(QLatin1String("/dev/pts/")))
        text += QStringLiteral(" A pseudo-terminal carries only 8 data bits without parity.");
    return text;
}

CommError oneAndHalfStopBits(int number, const QString &label)
{
    return CommError::make(number, QStringLiteral("%1: 1.5 stop bits are not available on this "
                                                  "system. Choose 1 or 2 stop bits.")
                                       .arg(label));
}

} // namespace

QtSerialComm::QtSerialComm(Resolver resolver, ModemLines *modemLines)
    : m_resolver(resolver ? std::move(resolver) : Resolver(&resolveSystemPort)),
      m_modemLines(modemLines ? modemLines : this), m_port(std::make_unique<QSerialPort>())
{
    QObject::connect(m_port.get(), &QSerialPort::errorOccurred, m_port.get(),
                     [this](QSerialPort::SerialPortError error) { handleError(error); });
    QObject::connect(m_port.get(), &QSerialPort::readyRead, m_port.get(),
                     [this] { m_arrivals.report(*m_port); });
}

QtSerialComm::~QtSerialComm()
{
    QObject::disconnect(m_port.get(), nullptr, nullptr, nullptr);
    if (m_state == State::Open) {
        releaseRs485();
        m_lowLatency.restore();
    }
}

QString QtSerialComm::label() const
{
    return QStringLiteral("Com%1").arg(m_commPort);
}

CommError QtSerialComm::setCommPort(qint16 port)
{
    if (port < 1)
        return CommError::make(CommError::BadPortNumber,
                               QStringLiteral("Port number %1 is out of range. Choose a port "
                                              "from Com1 upwards.")
                                   .arg(port));
    if (m_state == State::Open && port != m_commPort)
        return CommError::make(
            CommError::AlreadyOpen,
            QStringLiteral("%1 is open. Close it before choosing another port.").arg(label()));
    m_commPort = port;
    return {};
}

CommError QtSerialComm::setSettings(const QString &settings)
{
    CommSettings parsed;
    if (CommError error = parseSettings(settings, parsed))
        return error;
    if (m_state == State::Open) {
        if (parsed.stopBits == CommSettings::StopBits::OneAndHalf)
            return oneAndHalfStopBits(CommError::BadSettings, label());
        const bool applied = applySettings(*m_port, parsed);
        if (m_state != State::Open)
            return usable();
        const std::optional<CommSettings> actual =
            applied ? lineInForce(m_port->handle()) : std::nullopt;
        if (!actual || !lineMatches(*actual, parsed)) {
            const QString message = lineRefused(label(), m_devicePath, parsed, actual);
            applySettings(*m_port, m_settings);
            m_port->clearError();
            return CommError::make(CommError::BadSettings, message);
        }
        m_port->clearError();
    }
    m_settings = parsed;
    m_settingsText = settings;
    return {};
}

CommError QtSerialComm::setPortOpen(bool open)
{
    return open ? openPort() : closePort();
}

CommError QtSerialComm::openPort()
{
    if (m_state == State::Open)
        return CommError::make(CommError::AlreadyOpen,
                               QStringLiteral("%1 is already open.").arg(label()));
    m_state = State::Closed;
    m_devicePath.clear();
    m_deliveryLatency = {};
    m_lossReported = false;

    if (m_settings.stopBits == CommSettings::StopBits::OneAndHalf)
        return oneAndHalfStopBits(CommError::OpenFailed, label());

    const std::optional<MappedPort> port = m_resolver(m_commPort);
    if (!port)
        return CommError::make(
            CommError::NoSuchPort,
            QStringLiteral("%1: no such serial port on this machine. Choose another port, or "
                           "link a serial device as com%2 in %3.")
                .arg(label(), QString::number(m_commPort), portDirectory()));
    const QString path = port->devicePath;

    // The probe refuses anything that is no terminal before a byte could reach it, and keeps
    // the device open until Qt has opened it too.
    TerminalProbe probe;
    if (CommError error = probe.open(label(), path))
        return error;

    m_port->setPortName(path);
    applySettings(*m_port, m_settings);
    if (!m_port->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_port->error();
        const QString reason = m_port->errorString();
        if (m_port->isOpen())
            m_port->close();
        m_port->clearError();
        // The probe could open the device, so a refusal for permission is Qt's lock file:
        // another program that honours the lock convention holds the device.
        if (error == QSerialPort::PermissionError)
            return CommError::make(CommError::PortInUse,
                                   QStringLiteral("%1: %2 is in use: another program holds it "
                                                  "and its lock file. Close that program, then "
                                                  "open the port again.")
                                       .arg(label(), path));
        return CommError::make(CommError::OpenFailed,
                               QStringLiteral("%1: %2 cannot be opened with the settings %3: %4.")
                                   .arg(label(), path, m_settingsText, reason));
    }

    const std::optional<CommSettings> actual = lineInForce(m_port->handle());
    if (!actual || !lineMatches(*actual, m_settings)) {
        m_port->close();
        m_port->clearError();
        return CommError::make(CommError::OpenFailed,
                               lineRefused(label(), path, m_settings, actual));
    }

    if (m_rs485) {
        if (const int refusal = m_modemLines->enableRs485(*m_rs485)) {
            m_port->close();
            m_port->clearError();
            return CommError::make(
                CommError::NoRs485,
                QStringLiteral("%1: %2 has no RS-485 mode: its driver refused it (%3), so "
                               "nothing would switch an RS-485 line to sending.")
                    .arg(label(), path, QString::fromLocal8Bit(std::strerror(refusal))));
        }
        m_rs485Held = true;
    }
    m_devicePath = path;
    m_arrivals.bufferTaken();
    m_state = State::Open;
    m_lowLatency.request(m_port->handle());
    const std::optional<LatencyTimer> latency = readLatencyTimer(path);
    m_deliveryLatency = std::chrono::milliseconds(latency ? latency->milliseconds : 0);
    applyModemLines();
    return {};
}

CommError QtSerialComm::closePort()
{
    switch (m_state) {
    case State::Open:
        m_state = State::Closed;
        releaseRs485();
        m_lowLatency.restore();
        m_port->close();
        m_port->clearError();
        m_devicePath.clear();
        return {};
    case State::Lost: {
        // The device is closed already; a loss nobody has been told of is told now.
        const CommError error = m_lossReported ? CommError() : lostError();
        m_state = State::Closed;
        m_devicePath.clear();
        return error;
    }
    case State::Closed:
        break;
    }
    return CommError::make(CommError::NotOpen, QStringLiteral("%1 is not open.").arg(label()));
}

CommError QtSerialComm::setDTREnable(bool enable)
{
    m_dtrEnable = enable;
    if (m_state == State::Open)
        applyModemLines();
    return {};
}

CommError QtSerialComm::setInputMode(qint32 mode)
{
    return checkInputMode(mode);
}

CommError QtSerialComm::setRs485(std::optional<Rs485Mode> mode)
{
    m_rs485 = mode;
    return {};
}

CommError QtSerialComm::setInBufferCount(qint16 count)
{
    if (CommError error = usable())
        return error;
    if (CommError error = checkInBufferCount(count))
        return error;
    m_arrivals.bufferTaken();
    if (!m_port->clear(QSerialPort::Input)) {
        if (m_state != State::Open)
            return usable();
        const QString reason = m_port->errorString();
        m_port->clearError();
        return CommError::make(CommError::ReadFailed,
                               QStringLiteral("%1: cannot empty the receive buffer of %2: %3.")
                                   .arg(label(), m_devicePath, reason));
    }
    return {};
}

CommError QtSerialComm::output(const QByteArray &bytes)
{
    if (CommError error = usable())
        return error;
    const qint64 accepted = m_port->write(bytes);
    if (m_state != State::Open)
        return usable();
    if (accepted != bytes.size()) {
        const QString reason = m_port->errorString();
        m_port->clear(QSerialPort::Output);
        m_port->clearError();
        return CommError::make(
            CommError::WriteFailed,
            QStringLiteral("%1: cannot write to %2: %3.").arg(label(), m_devicePath, reason));
    }
    const qint64 left =
        waitUntilWritten(*m_port, kWriteTimeoutMs, [this] { return m_state == State::Open; });
    if (m_state != State::Open)
        return usable();
    if (left > 0) {
        m_port->clear(QSerialPort::Output);
        m_port->clearError();
        return CommError::make(CommError::WriteFailed,
                               QStringLiteral("%1: only %2 of %3 bytes reached %4 within %5 s; the "
                                              "rest were dropped. Check that the device takes "
                                              "data.")
                                   .arg(label(), QString::number(bytes.size() - left),
                                        QString::number(bytes.size()), m_devicePath,
                                        QString::number(kWriteTimeoutMs / 1000)));
    }
    m_port->clearError();
    return {};
}

CommError QtSerialComm::input(QByteArray &bytes)
{
    if (CommError error = usable())
        return error;
    pullPending();
    if (m_state != State::Open)
        return usable();
    bytes = m_port->readAll();
    m_arrivals.bufferTaken();
    return {};
}

void QtSerialComm::setArrivalHandler(ArrivalHandler handler)
{
    m_arrivals.setHandler(std::move(handler));
}

void QtSerialComm::collectArrivals()
{
    if (m_state == State::Open)
        pullPending();
}

void QtSerialComm::pullPending()
{
    DeviceArrivals::pull(*m_port, [this] { return m_state == State::Open; });
    if (m_state == State::Open)
        m_port->clearError();
}

CommError QtSerialComm::usable()
{
    switch (m_state) {
    case State::Open:
        return {};
    case State::Lost:
        return lostError();
    case State::Closed:
        break;
    }
    return CommError::make(CommError::NotOpen,
                           QStringLiteral("%1 is not open. Open the port first.").arg(label()));
}

CommError QtSerialComm::lostError()
{
    m_lossReported = true;
    return CommError::make(CommError::DeviceLost,
                           QStringLiteral("The serial device %1 disappeared; plug it back in and "
                                          "open the port again.")
                               .arg(m_devicePath));
}

void QtSerialComm::applyModemLines()
{
    m_modemLines->setDataTerminalReady(m_dtrEnable);
    // In RS-485 mode RTS is the driver's: it raises it for each write.
    if (!m_rs485Held)
        m_modemLines->setRequestToSend(false);
    m_port->clearError();
}

void QtSerialComm::releaseRs485()
{
    if (!m_rs485Held)
        return;
    m_rs485Held = false;
    m_modemLines->restoreRs485();
}

// Devices without modem lines (pseudo-terminals) refuse both; that is no fault here.
void QtSerialComm::setDataTerminalReady(bool asserted)
{
    m_port->setDataTerminalReady(asserted);
}

void QtSerialComm::setRequestToSend(bool asserted)
{
    m_port->setRequestToSend(asserted);
}

int QtSerialComm::enableRs485(const Rs485Mode &mode)
{
    const int fd = m_port->handle();
    serial_rs485 driver{};
    if (::ioctl(fd, TIOCGRS485, &driver) != 0)
        return errno;
    // The driver's other flags (bus termination, receiving while sending) are the board's.
    serial_rs485 asked = driver;
    asked.flags = (driver.flags | SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND) &
                  ~quint32(SER_RS485_RTS_AFTER_SEND);
    asked.delay_rts_before_send = quint32(mode.rtsBeforeMs);
    asked.delay_rts_after_send = quint32(mode.rtsAfterMs);
    // The driver writes back the mode it took.
    if (::ioctl(fd, TIOCSRS485, &asked) != 0)
        return errno;
    if (!(asked.flags & SER_RS485_ENABLED)) {
        ::ioctl(fd, TIOCSRS485, &driver);
        return EINVAL;
    }
    m_driverRs485 = driver;
    return 0;
}

void QtSerialComm::restoreRs485()
{
    if (!m_driverRs485)
        return;
    serial_rs485 driver = *m_driverRs485;
    m_driverRs485.reset();
    ::ioctl(m_port->handle(), TIOCSRS485, &driver);
}

void QtSerialComm::handleError(QSerialPort::SerialPortError error)
{
    if (m_state != State::Open)
        return;
    // Qt repeats a read error for as long as the device stays open, spinning a core: the first
    // one closes the device.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::WriteError) {
        m_state = State::Lost;
        m_lossReported = false;
        releaseRs485();
        m_lowLatency.restore();
        m_port->close();
    }
}

} // namespace serial
