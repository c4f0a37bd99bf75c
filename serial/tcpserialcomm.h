#pragma once

#include "serial/commsettings.h"
#include "serial/deviceio.h"
#include "serial/portopening.h"
#include "serial/serialcomm.h"

#include <QTcpSocket>
#include <memory>

namespace serial
{

// The serial component over a TCP connection to a gateway or a server that carries RTU frames
// as they are, CRC and all, with no header.
//
// The far end is named by setEndpoint ("tcp://HOST:PORT"); the port number is kept but not used.
// Opening connects, waiting at most the connect timeout: the only call that blocks, and it does
// not run the event loop. The settings are not sent anywhere: lineSettings() gives them back, so
// that the silence between frames follows the speed given. DTR and the other modem lines do not
// exist on a connection: setDTREnable succeeds and does nothing. output() returns when the
// operating system has taken every byte. When the far end closes the connection, or it fails,
// the socket is closed at once: portOpen() turns false, input() still returns the bytes received
// before the end, and then every operation reports DeviceLost until the port is opened again
// (which connects again) or closed.
class TcpSerialComm : public SerialComm
{
public:
    TcpSerialComm();
    ~TcpSerialComm() override;

    CommError setCommPort(qint16 port) override;
    qint16 commPort() const override { return m_commPort; }
    CommError setSettings(const QString &settings) override;
    QString settings() const override { return m_settingsText; }
    CommSettings lineSettings() const override { return m_settings; }
    CommError setPortOpen(bool open) override;
    bool portOpen() const override { return m_state == State::Open; }
    CommError setDTREnable(bool enable) override;
    CommError setInputMode(qint32 mode) override;
    CommError setInBufferCount(qint16 count) override;
    CommError output(const QByteArray &bytes) override;
    CommError input(QByteArray &bytes) override;
    void setArrivalHandler(ArrivalHandler handler) override;
    void collectArrivals() override;
    CommError setEndpoint(const QString &portText) override;

    // "tcp://HOST:PORT" as set; empty before.
    QString endpoint() const { return m_endpointText; }
    // How long an open waits for the connection, in milliseconds (at least 1).
    void setConnectTimeout(int milliseconds);
    int connectTimeout() const { return m_connectTimeoutMs; }

    static constexpr int kDefaultConnectTimeoutMs = 3000;
    // How long output() waits for the operating system to take every byte.
    static constexpr int kWriteTimeoutMs = 2000;

private:
    enum class State { Closed, Open, Lost };

    CommError openPort();
    CommError closePort();
    CommError usable();
    CommError lostError();
    // Reads what the operating system holds for the socket, without waiting.
    void pullPending();
    // The connection ended or failed while open.
    void connectionEnded();

    qint16 m_commPort = 1;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    CommSettings m_settings;
    QString m_endpointText;
    TcpEndpoint m_endpoint;
    int m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    State m_state = State::Closed;
    QString m_lossReason;
    bool m_lossReported = false;
    DeviceArrivals m_arrivals;
    std::unique_ptr<QTcpSocket> m_socket;
};

} // namespace serial
