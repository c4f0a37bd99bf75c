#include "slaveoptions.h"

#include "console/optionvalues.h"
#include "outputschedule.h"
#include "serial/portmap.h"

#include <tuple>

namespace simulator
{

namespace
{

const char kEpilogue[] =
    R"(The options combine. A reply is built (or --exception takes its place), gets
a wrong CRC (--bad-crc, counting the replies built), loses its end (--short),
and starts 3.5 characters plus --turnaround plus --delay after the request's
last byte, or after the previous reply, whichever is later; with --silent no
reply goes out, but the echo does. --usb-latency holds the echo and the replies
alike. The traffic lines show exactly the bytes sent.

The request 01 03 00 00 00 02 C4 0B (8 bytes) and its reply (9 bytes) are 17
characters: 17.7 ms on the line at 9600 baud 8N1 (1.042 ms a character) and
1.5 ms at 115200 (87 us a character).

Function codes:
  03 read holding registers        04 read input registers
  06 write single register         16 (hex 10) write multiple registers
over 100 holding and 100 input registers, addresses 0 to 99. The replies and
the exception replies are those of libmodbus: exception 01 (illegal function)
for every other function code, 02 (illegal data address) for registers outside
0 to 99, 03 (illegal data value) for a count outside 1 to 125 (1 to 123 when
writing). A frame with a wrong CRC or too few bytes gets no reply; libmodbus
takes a function code it does not know for a frame of address, function and CRC
alone, so a longer request with such a code fails the CRC check.

Registers:
  0    requests served so far for this slave, broadcasts included, counting the
       one being answered
  1    whole seconds since the simulator started
  2    a ramp 0, 1, ..., 999, 0, ... that advances by one with every request
  3-99 fixed: holding register k holds 10*k (30 to 990),
       input register k holds 1000+k (1003 to 1099)
Registers 0 to 2 are the same in both tables and are set afresh before every
reply; values written to them are overwritten. Values written to holding
registers 3 to 99 stay until the simulator ends. Every value is 16 bits and
wraps around.

Port directory:
  $XDG_CONFIG_HOME/wirelark/ports/, or ~/.config/wirelark/ports/ when
  XDG_CONFIG_HOME is unset or empty; it is created when missing.

Output (standard output, one line per event, flushed at every line):
  Serving slave 1 on /dev/pts/7, linked as Com2 (~/.config/wirelark/ports/com2)
  14:03:07.512 request 01 03 00 00 00 02 C4 0B
  14:03:07.512 echo    01 03 00 00 00 02 C4 0B
  14:03:07.512 reply   01 03 04 00 01 00 00 AB F3
  14:03:07.530 collision 1: request 2.10 ms before the reply ended on the line
  14:03:07.561 gap 1: request 0.80 ms after the reply ended; frame gap 3.65 ms
  Totals: requests 1234, replies 1230, collisions 1, short gaps 1
The time is local, HH:MM:SS.mmm. A request line stands for every burst
received; the reply line comes when the last byte is written. Other lines say
why a request got no reply. With --speed, a "Line" line after the first one
states the timing. A collision is a request whose first byte arrived before
the previous reply had ended on the line (its wait included); a gap, one that
arrived less than the frame gap after it (with --speed only); a reply that
the simulator wrote late counts as ending that much later. Each has a running
count. Collisions, gaps and the Totals line, printed when a stop signal ends
the simulator, also come with --quiet.

Exit status: 0 when stopped by a signal, 1 when the port cannot be set up (for
example the link is taken), 2 for a wrong command line.
)";

console::ProgramOptions program()
{
    using console::option;
    const SlaveOptions defaults;
    return {
        QStringLiteral("wirelark-slave"),
        QStringLiteral("[options]"),
        QStringLiteral(
            "A simulated Modbus RTU slave device on a virtual serial port, for trying Wirelark "
            "or any other Modbus RTU master without hardware. It creates a pseudo-terminal, "
            "links it as comN in the port directory, so that Wirelark offers it as ComN, and "
            "answers requests until it is stopped with Ctrl-C, SIGINT, SIGTERM or SIGHUP. Then "
            "it prints the totals and removes the link, unless someone has replaced it "
            "meanwhile."),
        {option("port", "N",
                "link the port as comN, N (or comN) from 1 to %1. Default: the lowest number that "
                "maps to no serial device. An existing comN that points to a device that exists "
                "is never replaced (the simulator refuses to start); a dangling link is replaced. "
                "Wirelark's port box lists Com1 to Com16.",
                serial::kMaxPortNumber),
         option("address", "A",
                "the slave address to answer, %1 to %2 (default %3). Requests for another address "
                "are ignored (no reply). Requests for address 0 (broadcast) are carried out and "
                "never answered.",
                kMinSlaveAddress, kMaxSlaveAddress, defaults.address),
         option("delay", "MS", "wait MS milliseconds (0 to %1) before each reply (default %2).",
                kMaxDelayMs, defaults.delayMs),
         option("silent", "",
                "never reply, to exercise timeouts; requests are still read, carried out and "
                "printed."),
         option("quiet", "", "do not print the requests, replies, echoes and notes."),
         {{},
          {},
          QStringLiteral("Wire time (without --speed a request ends after 4 ms of silence and its "
                         "reply goes out at once):")},
         option("speed", "BAUD",
                "keep the time of a line at BAUD bits per second, %1 to %2. A character takes its "
                "start bit, data bits, parity bit and stop bits. A request ends after 3.5 "
                "characters of silence (a fixed 1.75 ms above 19200 baud); the reply starts "
                "--turnaround later, and each of its bytes reaches the master when its last stop "
                "bit has ended.",
                kMinSpeed, kMaxSpeed),
         option("settings", "P,D,S",
                "the framing for --speed: parity N, E or O, 7 or 8 data bits, 1 or 2 stop bits "
                "(default N,8,1). It sets the timing only: the pseudo-terminal carries bytes, and "
                "the master's settings still do not matter."),
         option("turnaround", "MS",
                "with --speed: milliseconds from the end of a request's 3.5 characters of silence "
                "to the start of its reply, 0 to %1 (default %2).",
                kMaxTurnaroundMs, defaults.turnaroundMs),
         option("usb-latency", "MS",
                "hand bytes to the master as a USB serial adapter does, MS from 1 to %1 (16 is "
                "common): they gather from the line, and go on when MS milliseconds have passed "
                "since the first of them, or at once when %2 have gathered. Works with or without "
                "--speed.",
                kMaxUsbLatencyMs, kUsbPacketBytes),
         {{}, {}, QStringLiteral("Faults:")},
         option("exception", "CODE",
                "answer every request for this slave with exception CODE, 1 to 255, decimal or "
                "hexadecimal after 0x (11 and 0x0B are the same), and do not carry it out."),
         option("bad-crc", "N",
                "every Nth reply goes out with a wrong CRC, N from 1 to %1 (1: every reply): both "
                "CRC bytes are inverted.",
                kMaxBadCrcEvery),
         option("short", "N",
                "drop the last N bytes (1 to %1) of every reply; a reply of N bytes or fewer is "
                "not sent at all.",
                kMaxShortBy),
         option("echo", "",
                "send every request back before its reply, as a two-wire RS-485 adapter hears the "
                "master's own bytes: at once when the request has ended, also for requests that "
                "get no reply.")},
        QStringLiteral("--port=5"),
        QString::fromUtf8(kEpilogue)};
}

// The options from a parsed command line into options; the message of a usage error, or empty.
QString readOptions(const QCommandLineParser &parser, SlaveOptions &options)
{
    const auto value = [&parser](const char *name) {
        return parser.value(name);
    };
    const auto isSet = [&parser](const char *name) {
        return parser.isSet(name);
    };
    int speed = 0;
    const std::tuple<const char *, int, int, int *> numbers[] = {
        {"address", kMinSlaveAddress, kMaxSlaveAddress, &options.address},
        {"delay", 0, kMaxDelayMs, &options.delayMs},
        {"speed", kMinSpeed, kMaxSpeed, &speed},
        {"turnaround", 0, kMaxTurnaroundMs, &options.turnaroundMs},
        {"usb-latency", 1, kMaxUsbLatencyMs, &options.usbLatencyMs},
        {"bad-crc", 1, kMaxBadCrcEvery, &options.badCrcEvery},
        {"short", 1, kMaxShortBy, &options.shortBy},
    };
    for (const auto &[name, low, high, target] : numbers) {
        if (!isSet(name))
            continue;
        const std::optional<qint64> given = console::number(value(name), low, high);
        if (!given)
            return QStringLiteral("--%1 must be a number from %2 to %3, not \"%4\"")
                .arg(QLatin1String(name))
                .arg(low)
                .arg(high)
                .arg(value(name));
        *target = static_cast<int>(*given);
    }
    QString error;
    if (isSet("port") && !(options.port = console::portNumber(value("port"), error)))
        return error;
    if (isSet("exception")) {
        // 1 to 255, decimal or hexadecimal after "0x".
        const QString code = value("exception");
        const bool hexadecimal = code.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        const std::optional<qint64> given =
            console::number(hexadecimal ? code.mid(2) : code, 1, 255, hexadecimal ? 16 : 10);
        if (!given)
            return QStringLiteral("--exception must be a code from 1 to 255, decimal or "
                                  "hexadecimal after 0x, not \"%1\"")
                .arg(code);
        options.exception = static_cast<std::uint8_t>(*given);
    }
    options.silent = isSet("silent");
    options.quiet = isSet("quiet");
    options.echo = isSet("echo");

    if (!isSet("speed") && (isSet("settings") || isSet("turnaround")))
        return QStringLiteral("%1 needs --speed: without it replies go out at once")
            .arg(QLatin1String(isSet("settings") ? "--settings" : "--turnaround"));
    if (isSet("speed")) {
        const QString framing = isSet("settings") ? value("settings") : QStringLiteral("N,8,1");
        // The timing is kept for parity N, E or O, 7 or 8 data bits, 1 or 2 stop bits.
        using Parity = serial::CommSettings::Parity;
        options.line = console::lineSettings(QString::number(speed), framing, error);
        if (!options.line || options.line->parity == Parity::Mark ||
            options.line->parity == Parity::Space || options.line->dataBits < 7 ||
            options.line->stopBits == serial::CommSettings::StopBits::OneAndHalf)
            return QStringLiteral("--settings must be the parity N, E or O, 7 or 8 data bits and 1 "
                                  "or 2 stop bits, as in N,8,1 or E,7,2; not \"%1\"")
                .arg(framing);
    }
    return {};
}

} // namespace

ParsedOptions parseOptions(const QStringList &arguments)
{
    ParsedOptions result;
    console::parseCommandLine(program(), arguments, result, [&result](const QCommandLineParser &p) {
        return readOptions(p, result.options);
    });
    return result;
}

} // namespace simulator
