#include "serial/portopening.h"

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

CommError openPort(SerialComm &comm, const QString &speedText, const QString &framingText,
                   const QString &portText)
{
    CommError failure;
    const auto remember = [&failure](const CommError &error) {
        if (error)
            failure = error;
    };

    remember(comm.setSettings(speedText + QLatin1Char(',') + framingText));
    if (const std::optional<qint16> number = portNumberOfText(portText))
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
