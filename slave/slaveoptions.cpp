#include "slaveoptions.h"

#include "console/optionvalues.h"
#include "outputschedule.h"
#include "serial/portmap.h"

#include <tuple>

namespace simulator
{

namespace
{

// A list of slave addresses such as "7,12,247" or "1,5-7": ascending, each once; empty when an
// item is not an address from 1 to 247 or a range low-high of them.
std::optional<std::vector<int>> addressList(const QString &text)
{
    std::vector<bool> listed(kMaxSlaveAddress + 1, false);
    for (const QString &item : text.split(QLatin1Char(','))) {
        const qsizetype dash = item.indexOf(QLatin1Char('-'));
        const std::optional<qint64> low =
            console::number(item.left(dash), kMinSlaveAddress, kMaxSlaveAddress);
        const std::optional<qint64> high =
            dash < 0 ? low
                     : console::number(item.mid(dash + 1), kMinSlaveAddress, kMaxSlaveAddress);
        if (!low || !high || *low > *high)
            return std::nullopt;
        for (qint64 address = *low; address <= *high; ++address)
            listed[static_cast<std::size_t>(address)] = true;
    }
    std::vector<int> addresses;
    for (int address = kMinSlaveAddress; address <= kMaxSlaveAddress; ++address)
        if (listed[static_cast<std::size_t>(address)])
            addresses.push_back(address);
    return addresses;
}

const char kEpilogue[] =
    R"(The options combine. A reply is built (or --exception takes its place), gets a
wrong CRC (--bad-crc, counting the replies built), loses its end (--short), and
starts 3.5 characters plus --turnaround plus --delay after the request's last byte
has ended on the line, or after the previous reply, whichever is later; with
--silent no reply goes out, but the echo does. --usb-latency holds the echo and the
replies alike. The traffic lines show exactly the bytes sent.

The request 01 03 00 00 00 02 C4 0B (8 bytes) and its reply (9 bytes) are 17
characters: 17.7 ms on the line at 9600 baud 8N1 (1.042 ms a character) and 1.5 ms
at 115200 (87 us a character). With the frame gaps after each and the turnaround, a
line carries at most 1 / (request + 3.5 characters + turnaround + reply + 3.5
characters) exchanges a second: 38.5 at 9600 8N1 and 167 at 115200 8N1 with a 1 ms
turnaround, and so does the simulator with --speed.

Function codes:
  01 read coils                    02 read discrete inputs
  03 read holding registers        04 read input registers
  05 write single coil             06 write single register
  15 (hex 0F) write multiple coils 16 (hex 10) write multiple registers
over 100 coils, 100 discrete inputs, 100 holding and 100 input registers, addresses
0 to 99. The replies and the exception replies are those of libmodbus: exception 01
(illegal function) for every other function code, 02 (illegal data address) for
addresses outside 0 to 99, 03 (illegal data value) for a count outside 1 to 125 (1
to 123 when writing registers, 1 to 2000 bits, 1 to 1968 when writing coils). A frame
with a wrong CRC or too few bytes gets no reply; libmodbus takes a function code it
does not know for a frame of address, function and CRC alone, so a longer request
with such a code fails the CRC check.

Registers:
  0    requests served so far for this slave, broadcasts included, counting the
       one being answered
  1    whole seconds since the simulator started
  2    a ramp 0, 1, ..., 999, 0, ... that advances by one with every request
  3-99 fixed: holding register k holds 10*k (30 to 990),
       input register k holds 1000+k (1003 to 1099)
Registers 0 to 2 are the same in both tables and are set afresh before every
reply; values written to them are overwritten. Values written to holding registers
3 to 99 stay until the simulator ends. Every value is 16 bits and wraps around.
Coil k starts on where k is a multiple of 3 (0, 3, 6, ...), discrete input k where
k is odd; coils written stay until the simulator ends.

Port directory:
  $XDG_CONFIG_HOME/wirelark/ports/, or ~/.config/wirelark/ports/ when
  XDG_CONFIG_HOME is unset or empty; it is created when missing.

Output (standard output, one line per event, flushed at every line):
  Serving slave 1 on /dev/pts/7, linked as Com2 (~/.config/wirelark/ports/com2)
  Serving slave 1 on 127.0.0.1:1502, RTU over TCP, one client at a time
  Tap on /dev/pts/8, linked as /tmp/tap
  14:03:07.512 request 01 03 00 00 00 02 C4 0B
  14:03:07.512 echo    01 03 00 00 00 02 C4 0B
  14:03:07.512 reply   01 03 04 00 01 00 00 AB F3
  14:03:07.530 collision 1: request 2.10 ms before the reply ended on the line
  14:03:07.561 gap 1: request 0.80 ms after the reply ended; frame gap 3.65 ms
  14:03:08.002 garbled: the master receives at 19200 baud, the line runs at 9600
  14:03:08.013 garbled 00 00 00 00 00 00 00 98 00 00
  14:03:09.100 TCP client 127.0.0.1:40312 connected
  Totals: requests 1234, replies 1230, collisions 1, short gaps 1
  TCP: clients 3, refused 1 (one at a time)
  Tap: written 20978 bytes, dropped 0 (its reader fell behind), lost 0 (nobody had
  it open)
The time is local, HH:MM:SS.mmm. A request line stands for every burst received;
the reply line comes when the last byte is written. Other lines say why a request
got no reply. The first lines say where the simulator serves: the pseudo-terminal,
TCP with --tcp, the tap with --tap; with --speed, a "Line" line after them states
the timing. The TCP and Tap lines at the end come with --tcp and --tap.
A collision is a request whose first byte arrived before the previous reply had
ended on the line (its wait included); a gap, one that arrived less than the frame
gap after it (with --speed only); a reply that the simulator wrote late counts as
ending that much later. Each has a running count. Collisions, gaps and the Totals
line, printed when a stop signal ends the simulator, also come with --quiet.

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
            "Simulated Modbus RTU slave devices on a virtual serial port, for trying Wirelark "
            "or any other Modbus RTU master without hardware. It creates a pseudo-terminal, "
            "links it as comN in the port directory, so that Wirelark offers it as ComN, and "
            "answers requests until it is stopped with Ctrl-C, SIGINT, SIGTERM or SIGHUP. Then "
            "it prints the totals and removes the link, unless someone has replaced it "
            "meanwhile. It can also serve over TCP, and show the line on a tap."),
        {option("port", "N",
                "link the port as comN, N (or comN) from 1 to %1. Default: the lowest number that "
                "maps to no serial device. An existing comN that points to a device that exists "
                "is never replaced (the simulator refuses to start); a dangling link is replaced. "
                "Wirelark's port box lists Com1 to Com16.",
                serial::kMaxPortNumber),
         option("address", "LIST",
                "the slave addresses to answer, %1 to %2, separated by commas, ranges as in 5-7 "
                "(default %1): --address 7,12,247 puts three slaves on the line, each its own "
                "device with the registers below. Requests for another address are ignored (no "
                "reply). Requests for address 0 (broadcast) are carried out by every slave and "
                "never answered.",
                kMinSlaveAddress, kMaxSlaveAddress),
         option("gateway", "",
                "answer as a gateway whose targets are gone: every request for any address 1 to "
                "247 gets exception 0B (gateway target failed to respond), and none is carried "
                "out. Not with --address or --exception."),
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
                "start bit, data bits, parity bit and stop bits. The request's characters reach "
                "the slave one after another from the moment the master writes them; it ends "
                "after 3.5 characters of silence after its last (a fixed 1.75 ms above 19200 "
                "baud); the reply starts --turnaround later, and each of its bytes reaches the "
                "master when its last stop bit has ended. The master must set its end to BAUD, "
                "as on a real line: a pseudo-terminal shows the speed its other end was given. A "
                "master at another speed gets what its UART makes of the reply, a few garbled "
                "bytes that never hold a frame with a right CRC (a \"garbled\" line and a note "
                "say so); the request itself is taken as sent.",
                kMinSpeed, kMaxSpeed),
         option("settings", "P,D,S",
                "the framing for --speed: parity N, E or O, 7 or 8 data bits, 1 or 2 stop bits "
                "(default N,8,1). It sets the timing only: a pseudo-terminal takes no parity, and "
                "the master's framing is not compared, only its speed."),
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
                "answer every request for these slaves with exception CODE, 1 to 255, decimal or "
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
                "get no reply."),
         {{}, {}, QStringLiteral("More ends:")},
         option("tap", "PATH",
                "a second pseudo-terminal, linked at PATH, on which the bus shows as a passive tap "
                "hears it: every request read and every reply sent, in order, each byte when its "
                "character has ended on the line, batched as --usb-latency says; not the echo. "
                "Set the tap's end to the --speed: a reader at another speed gets garble. The "
                "simulator never waits for the tap: bytes that find its buffer full are dropped, "
                "those written while nobody has it open are lost, and both are counted on the "
                "\"Tap:\" line at the end."),
         option("tcp", "PORT",
                "also serve the same RTU frames (CRC and all, no header) over TCP on 127.0.0.1 at "
                "PORT, 0 to %1 (0: a free port, which the start line names). The same slaves, "
                "registers, wire time and faults; a client's end has no speed. One client at a "
                "time: another that connects meanwhile is closed at once, before any byte. A "
                "client may close its sending side after its requests, as socat does at the end "
                "of its input: they are still answered, the connection ends when the replies are "
                "out, and a client that connects meanwhile waits for that. A client that goes "
                "away takes its unsent bytes with it.",
                kMaxTcpPort),
         option("no-pty", "",
                "serve over TCP only: no pseudo-terminal, no link. Needs --tcp; not with --port.")},
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
    if (isSet("address")) {
        const std::optional<std::vector<int>> list = addressList(value("address"));
        if (!list)
            return QStringLiteral("--address must be slave addresses from %1 to %2, separated by "
                                  "commas, ranges as in 5-7; not \"%3\"")
                .arg(kMinSlaveAddress)
                .arg(kMaxSlaveAddress)
                .arg(value("address"));
        options.addresses = *list;
    }
    if (isSet("tap") && (options.tap = value("tap").toStdString())->empty())
        return QStringLiteral("--tap needs a path for the tap's link, such as /tmp/tap");
    if (isSet("tcp")) {
        const std::optional<qint64> port = console::number(value("tcp"), 0, kMaxTcpPort);
        if (!port)
            return QStringLiteral("--tcp must be a number from 0 to %1, not \"%2\"")
                .arg(kMaxTcpPort)
                .arg(value("tcp"));
        options.tcpPort = static_cast<int>(*port);
    }
    options.gateway = isSet("gateway");
    options.noPty = isSet("no-pty");
    if (options.gateway && (isSet("address") || options.exception))
        return QStringLiteral("--gateway answers every address with exception 0B: leave out %1")
            .arg(QLatin1String(isSet("address") ? "--address" : "--exception"));
    if (options.noPty && !options.tcpPort)
        return QStringLiteral("--no-pty needs --tcp PORT: the simulator would have no port at all");
    if (options.noPty && options.port)
        return QStringLiteral("--port names the pseudo-terminal's link, and --no-pty makes none");
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
