#pragma once

#include "serial/commsettings.h"
#include "serial/deviceio.h"
#include "serial/lowlatency.h"
#include "serial/modemlines.h"
#include "serial/portmap.h"
#include "serial/serialcomm.h"

#include <QSerialPort>
#include <functional>
#include <memory>
#include <optional>

namespace serial
{

// The serial component over Qt Serial Port.
//
// The port number is resolved to a device when the port opens, never earlier. While open, the
// line carries raw bytes with no flow control, RTS is not asserted and DTR follows DTREnable;
// the kernel asserts both for a moment while the device opens, before they are released.
// Every received byte stays buffered until input() takes it. When the device fails while open
// (unplugged, the far end of a pseudo-terminal closed) the device is closed at once and every
// operation reports DeviceLost until the port is opened again or closed.
// Every open asks the driver for low latency (see LowLatency), so that a USB adapter hands a
// short reply on at once instead of holding it for its latency timer; a driver without the
// setting is used as it is. The device's flags are put back before it closes.
// With an RS-485 mode set, every open asks the driver for it before the modem lines are set, and
// fails when the driver refuses; the driver then drives RTS, and the mode it had is given back
// before the device closes (also when the device is lost or the component destroyed).
class QtSerialComm : public SerialComm, private ModemLines
{
public:
    using Resolver = std::function<std::optional<MappedPort>(int number)>;

    // resolver maps a port number to a device at open time; the default looks at the links of
    // the port directory and the machine's serial devices. modemLines receives the settings of
    // DTR and RTS instead of the device when given; it must outlive the component.
    explicit QtSerialComm(Resolver resolver = {}, ModemLines *modemLines = nullptr);
    ~QtSerialComm() override;

    CommError setCommPort(qint16 port) override;
    qint16 commPort() const override { return m_commPort; }
    CommError setSettings(const QString &settings) override;
    QString settings() const override { return m_settingsText; }
    CommSettings lineSettings() const override { return m_settings; }
    CommError setPortOpen(bool open) override;
    bool portOpen() const override { return m_state == State::Open; }
    CommError setDTREnable(bool enable) override;
    CommError setInputMode(qint32 mode) override;
    CommError setRs485(std::optional<Rs485Mode> mode) override;
    CommError setInBufferCount(qint16 count) override;
    CommError output(const QByteArray &bytes) override;
    CommError input(QByteArray &bytes) override;
    void setArrivalHandler(ArrivalHandler handler) override;
    void collectArrivals() override;
    // The latency timer the adapter reports once low latency has been asked for.
    std::chrono::microseconds deliveryLatency() const override
    {
        return m_state == State::Open ? m_deliveryLatency : std::chrono::microseconds{};
    }

    // The device the port has open, or had open when it was lost; empty otherwise.
    QString devicePath() const { return m_devicePath; }

    // How long output() waits for the operating system to take every byte.
    static constexpr int kWriteTimeoutMs = 2000;

private:
    enum class State { Closed, Open, Lost };

    CommError openPort();
    CommError closePort();
    // NotOpen or DeviceLost when no I/O is possible; none while open.
    CommError usable();
    CommError lostError();
    QString label() const;
    void applyModemLines();
    void setDataTerminalReady(bool asserted) override;
    void setRequestToSend(bool asserted) override;
    int enableRs485(const Rs485Mode &mode) override;
    void restoreRs485() override;
    // Gives back the RS-485 mode when this component asked for it; before the device closes.
    void releaseRs485();
    // Reads what the kernel holds for the port into Qt's buffer, without waiting.
    void pullPending();
    void handleError(QSerialPort::SerialPortError error);
    // Tells the arrival handler about bytes buffered since it was last told.

    Resolver m_resolver;
    qint16 m_commPort = 1;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    CommSettings m_settings;
    bool m_dtrEnable = false;
    State m_state = State::Closed;
    QString m_devicePath;
    bool m_lossReported = false;
    DeviceArrivals m_arrivals;
    ModemLines *m_modemLines = this;
    std::optional<Rs485Mode> m_rs485;          // asked for at every open
    bool m_rs485Held = false;                  // m_modemLines holds a mode to give back
    std::optional<serial_rs485> m_driverRs485; // the driver's mode before enableRs485()
    LowLatency m_lowLatency;
    std::chrono::microseconds m_deliveryLatency{};
    std::unique_ptr<QSerialPort> m_port;
};

} // namespace serial
