#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

namespace scan
{

// The request a scan sends to each address.
enum class ProbeKind {
    ReadHolding, // FC 03, register 0, quantity 1
    ReadInput,   // FC 04, register 0, quantity 1
    ReportId,    // FC 11, report slave id
    DeviceId,    // FC 2B / MEI 0E, read device id: basic, from object 0
};

// "03", "04", "11" or "2B": the names --probe takes.
QString probeName(ProbeKind kind);

// The probe for one address (1 to 247), its CRC appended low byte first.
QByteArray probeFrame(ProbeKind kind, quint8 address);

// What came back for one probe.
enum class Outcome {
    Reply,            // a valid reply from the probed address: a device
    Exception,        // a valid exception reply: a slave refused the probe, so it is there
    GatewayException, // exception 0A or 0B: a gateway answers, no device behind it did
    Garbled,          // bytes, but no valid frame for this address (maybe other settings)
    EchoOnly,         // the probe's own bytes and nothing else: a two-wire adapter's echo
    Silent,           // nothing
};

struct Judgement {
    Outcome outcome = Outcome::Silent;
    quint8 exceptionCode = 0; // Exception and GatewayException
    bool echoRemoved = false; // an echo of the probe stood in front and was removed

    bool operator==(const Judgement &) const = default;
};

// Whether an outcome shows a device at the address.
inline bool isPresent(Outcome outcome)
{
    return outcome == Outcome::Reply || outcome == Outcome::Exception;
}

// Judges the bytes read after probe: leading zero bytes (a driver turning the line around) are
// skipped, an exact echo of the probe in front is removed, and what is left must be one frame
// with a good CRC, the probe's address and its function (0x80 set for an exception). Bytes
// after a complete frame are left out.
Judgement judgeReply(QByteArrayView probe, QByteArrayView reply);

// "reply", "exception", "gateway exception", "garbled", "echo", "silent".
QString outcomeName(Outcome outcome);

} // namespace scan
