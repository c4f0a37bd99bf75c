#include "probe.h"

#include "frame/crc16.h"
#include "frame/rtuframe.h"

#include <span>

namespace scan
{

namespace
{

// Exception codes that a gateway sends for a device behind it: path unavailable, and target
// device failed to respond.
constexpr quint8 kGatewayPathUnavailable = 0x0A;
constexpr quint8 kGatewayTargetSilent = 0x0B;

QByteArrayView withoutLeadingZeros(QByteArrayView bytes)
{
    qsizetype zeros = 0;
    while (zeros < bytes.size() && bytes[zeros] == '\0')
        ++zeros;
    return bytes.sliced(zeros);
}

} // namespace

QString probeName(ProbeKind kind)
{
    switch (kind) {
    case ProbeKind::ReadHolding:
        return QStringLiteral("03");
    case ProbeKind::ReadInput:
        return QStringLiteral("04");
    case ProbeKind::ReportId:
        return QStringLiteral("11");
    case ProbeKind::DeviceId:
        return QStringLiteral("2B");
    }
    return {};
}

QByteArray probeFrame(ProbeKind kind, quint8 address)
{
    QByteArray bytes(1, char(address));
    switch (kind) {
    case ProbeKind::ReadHolding:
        bytes.append(QByteArray::fromHex("0300000001"));
        break;
    case ProbeKind::ReadInput:
        bytes.append(QByteArray::fromHex("0400000001"));
        break;
    case ProbeKind::ReportId:
        bytes.append(char(0x11));
        break;
    case ProbeKind::DeviceId:
        bytes.append(QByteArray::fromHex("2B0E0100"));
        break;
    }
    const std::uint16_t crc = frame::crc16Modbus(std::span(
        reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())));
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

Judgement judgeReply(QByteArrayView probe, QByteArrayView reply)
{
    Judgement judgement;
    QByteArrayView rest = withoutLeadingZeros(reply);
    if (rest.isEmpty())
        return judgement;
    if (!probe.isEmpty() && rest.startsWith(probe)) {
        judgement.echoRemoved = true;
        rest = withoutLeadingZeros(rest.sliced(probe.size()));
        if (rest.isEmpty()) {
            judgement.outcome = Outcome::EchoOnly;
            return judgement;
        }
    }
    judgement.outcome = Outcome::Garbled;
    if (probe.size() < 2)
        return judgement;
    const frame::RtuFrame decoded = frame::decodeRtuFrame(rest, frame::Direction::Response);
    const quint8 function = quint8(probe[1]);
    if (!decoded.complete || !decoded.crcGood || decoded.address != quint8(probe[0]) ||
        (decoded.function & 0x7F) != function)
        return judgement;
    if (!decoded.exception) {
        judgement.outcome = Outcome::Reply;
        return judgement;
    }
    judgement.exceptionCode = decoded.exceptionCode;
    judgement.outcome = decoded.exceptionCode == kGatewayPathUnavailable ||
                                decoded.exceptionCode == kGatewayTargetSilent
                            ? Outcome::GatewayException
                            : Outcome::Exception;
    return judgement;
}

QString outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Reply:
        return QStringLiteral("reply");
    case Outcome::Exception:
        return QStringLiteral("exception");
    case Outcome::GatewayException:
        return QStringLiteral("gateway exception");
    case Outcome::Garbled:
        return QStringLiteral("garbled");
    case Outcome::EchoOnly:
        return QStringLiteral("echo");
    case Outcome::Silent:
        return QStringLiteral("silent");
    }
    return {};
}

} // namespace scan
