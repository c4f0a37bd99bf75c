#include "serial/portopening.h"

#include <QRegularExpression>

namespace serial
{

std::optional<qint16> portNumberOfText(const QString &text)
{
    QString digits = text;
    digits.remove(QLatin1String("Com"), Qt::CaseSensitive);
    bool ok = false;
    const qint16 number = digits.toShort(&ok, 10);
    return ok ? std::optional<qint16>(number) : std::nullopt;
}

bool isTcpPortText(const QString &text)
{
    return text.startsWith(QLatin1String("tcp://"));
}

std::optional<TcpEndpoint> tcpEndpointOfText(const QString &text)
{
    static const QRegularExpression endpoint(
        QStringLiteral(R"(^tcp://(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9._-]+):([0-9]{1,5})$)"));
    const QRegularExpressionMatch match = endpoint.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int port = match.captured(2).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    QString host = match.captured(1);
    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    return TcpEndpoint{host, static_cast<quint16>(port)};
}

CommError openPort(SerialComm &comm, const QString &speedText, const QString &framingText,
                   const QString &portText)
{
    CommError failure;
    const auto remember = [&failure](const CommError &error) {
        if (error)
            failure = error;
    };

    remember(comm.setSettings(speedText + QLatin1Char(',') + framingText));
    if (isTcpPortText(portText))
        remember(comm.setEndpoint(portText));
    else if (const std::optional<qint16> number = portNumberOfText(portText))
        remember(comm.setCommPort(*number));
    else
        remember(CommError::make(CommError::BadConversion,
                                 QStringLiteral("\"%1\" is not a port name. Write Com and the "
                                                "port number, for example Com3.")
                                     .arg(portText)));
    remember(comm.setPortOpen(true));

    if (failure && comm.portOpen())
        comm.setPortOpen(false);
    return failure;
}

} // namespace serial
