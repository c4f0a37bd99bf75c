#include "serial/tcpserialcomm.h"

#include <algorithm>

namespace serial
{

TcpSerialComm::TcpSerialComm() : m_socket(std::make_unique<QTcpSocket>())
{
    QObject::connect(m_socket.get(), &QTcpSocket::readyRead, m_socket.get(),
                     [this] { m_arrivals.report(*m_socket); });
    QObject::connect(m_socket.get(), &QTcpSocket::errorOccurred, m_socket.get(),
                     [this](QAbstractSocket::SocketError error) {
                         // A wait that ends without data reports a timeout: the connection stays.
                         if (error != QAbstractSocket::SocketTimeoutError)
                             connectionEnded();
                     });
    QObject::connect(m_socket.get(), &QTcpSocket::disconnected, m_socket.get(),
                     [this] { connectionEnded(); });
}

TcpSerialComm::~TcpSerialComm()
{
    QObject::disconnect(m_socket.get(), nullptr, nullptr, nullptr);
}

CommError TcpSerialComm::setCommPort(qint16 port)
{
    if (port < 1)
        return CommError::make(CommError::BadPortNumber,
                               QStringLiteral("Port number %1 is out of range. Choose a port "
                                              "from Com1 upwards.")
                                   .arg(port));
    m_commPort = port;
    return {};
}

CommError TcpSerialComm::setEndpoint(const QString &portText)
{
    const std::optional<TcpEndpoint> endpoint = tcpEndpointOfText(portText);
    if (!endpoint)
        return CommError::make(CommError::BadConversion,
                               QStringLiteral("\"%1\" is not a TCP port: write tcp://HOST:PORT, "
                                              "for example tcp://127.0.0.1:5020.")
                                   .arg(portText));
    if (m_state == State::Open && portText != m_endpointText)
        return CommError::make(CommError::AlreadyOpen,
                               QStringLiteral("%1 is connected. Close it before choosing another "
                                              "far end.")
                                   .arg(m_endpointText));
    m_endpoint = *endpoint;
    m_endpointText = portText;
    return {};
}

void TcpSerialComm::setConnectTimeout(int milliseconds)
{
    m_connectTimeoutMs = std::max(milliseconds, 1);
}

CommError TcpSerialComm::setSettings(const QString &settings)
{
    CommSettings parsed;
    if (CommError error = parseSettings(settings, parsed))
        return error;
    m_settings = parsed;
    m_settingsText = settings;
    return {};
}

CommError TcpSerialComm::setPortOpen(bool open)
{
    return open ? openPort() : closePort();
}

CommError TcpSerialComm::openPort()
{
    if (m_state == State::Open)
        return CommError::make(CommError::AlreadyOpen,
                               QStringLiteral("%1 is already connected.").arg(m_endpointText));
    if (m_endpointText.isEmpty())
        return CommError::make(CommError::NoSuchPort,
                               QStringLiteral("No TCP far end is set: give tcp://HOST:PORT."));
    m_state = State::Closed;
    m_lossReported = false;
    m_socket->abort();
    m_socket->connectToHost(m_endpoint.host, m_endpoint.port);
    if (!m_socket->waitForConnected(m_connectTimeoutMs)) {
        const bool timedOut = m_socket->error() == QAbstractSocket::SocketTimeoutError ||
                              m_socket->state() != QAbstractSocket::UnconnectedState;
        const QString reason = m_socket->errorString();
        m_socket->abort();
        if (timedOut)
            return CommError::make(CommError::OpenFailed,
                                   QStringLiteral("%1: no connection within %2 ms. Check the host "
                                                  "and the port, and that the server answers.")
                                       .arg(m_endpointText)
                                       .arg(m_connectTimeoutMs));
        return CommError::make(CommError::OpenFailed,
                               QStringLiteral("%1: cannot connect: %2. Check that the server "
                                              "runs and listens on that port.")
                                   .arg(m_endpointText, reason));
    }
    // A request is one small write: it goes out at once, not when more data would fill a segment.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_arrivals.bufferTaken();
    m_state = State::Open;
    return {};
}

CommError TcpSerialComm::closePort()
{
    switch (m_state) {
    case State::Open:
        m_state = State::Closed;
        m_socket->abort();
        return {};
    case State::Lost: {
        const CommError error = m_lossReported ? CommError() : lostError();
        m_state = State::Closed;
        m_socket->abort();
        return error;
    }
    case State::Closed:
        break;
    }
    return CommError::make(CommError::NotOpen,
                           QStringLiteral("%1 is not connected.").arg(m_endpointText));
}

CommError TcpSerialComm::setDTREnable(bool)
{
    return {};
}

CommError TcpSerialComm::setInputMode(qint32 mode)
{
    return checkInputMode(mode);
}

CommError TcpSerialComm::setInBufferCount(qint16 count)
{
    if (CommError error = usable())
        return error;
    if (CommError error = checkInBufferCount(count))
        return error;
    pullPending();
    if (CommError error = usable())
        return error;
    m_socket->readAll();
    m_arrivals.bufferTaken();
    return {};
}

CommError TcpSerialComm::output(const QByteArray &bytes)
{
    if (CommError error = usable())
        return error;
    const qint64 accepted = m_socket->write(bytes);
    if (m_state != State::Open)
        return usable();
    if (accepted != bytes.size())
        return CommError::make(
            CommError::WriteFailed,
            QStringLiteral("%1: cannot send: %2.").arg(m_endpointText, m_socket->errorString()));
    const qint64 left =
        waitUntilWritten(*m_socket, kWriteTimeoutMs, [this] { return m_state == State::Open; });
    if (m_state != State::Open)
        return usable();
    if (left > 0) {
        // Bytes half sent would garble the stream for every later frame: the connection ends.
        m_socket->abort();
        m_state = State::Closed;
        return CommError::make(CommError::WriteFailed,
                               QStringLiteral("%1: only %2 of %3 bytes were taken within %4 s; "
                                              "the connection was closed. Check that the server "
                                              "reads.")
                                   .arg(m_endpointText, QString::number(bytes.size() - left),
                                        QString::number(bytes.size()),
                                        QString::number(kWriteTimeoutMs / 1000)));
    }
    return {};
}

CommError TcpSerialComm::input(QByteArray &bytes)
{
    if (m_state == State::Open)
        pullPending();
    // What arrived before the connection ended is still the reply's.
    if (m_state == State::Lost && m_socket->bytesAvailable() > 0) {
        bytes = m_socket->readAll();
        m_arrivals.bufferTaken();
        return {};
    }
    if (CommError error = usable())
        return error;
    bytes = m_socket->readAll();
    m_arrivals.bufferTaken();
    return {};
}

void TcpSerialComm::setArrivalHandler(ArrivalHandler handler)
{
    m_arrivals.setHandler(std::move(handler));
}

void TcpSerialComm::collectArrivals()
{
    if (m_state == State::Open)
        pullPending();
}

void TcpSerialComm::pullPending()
{
    DeviceArrivals::pull(*m_socket, [this] { return m_state == State::Open; });
}

void TcpSerialComm::connectionEnded()
{
    if (m_state != State::Open)
        return;
    // The socket stops watching a connection that ended, so no error repeats; the received
    // bytes stay in its buffer until the port is opened again or closed.
    m_lossReason = m_socket->error() == QAbstractSocket::RemoteHostClosedError ||
                           m_socket->state() == QAbstractSocket::UnconnectedState
                       ? QStringLiteral("the server closed the connection")
                       : m_socket->errorString();
    m_state = State::Lost;
    m_lossReported = false;
}

CommError TcpSerialComm::usable()
{
    switch (m_state) {
    case State::Open:
        return {};
    case State::Lost:
        return lostError();
    case State::Closed:
        break;
    }
    return CommError::make(
        CommError::NotOpen,
        QStringLiteral("%1 is not connected. Open the port first.").arg(m_endpointText));
}

CommError TcpSerialComm::lostError()
{
    m_lossReported = true;
    return CommError::make(CommError::DeviceLost,
                           QStringLiteral("%1: %2.").arg(m_endpointText, m_lossReason));
}

} // namespace serial
