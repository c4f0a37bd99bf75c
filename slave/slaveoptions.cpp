#include "slaveoptions.h"

#include <QString>

#include <charconv>

namespace simulator
{

namespace
{

// A decimal number within [low, high], all of the text; nullopt otherwise.
std::optional<int> decimalIn(const std::string &text, int low, int high)
{
    int value = 0;
    const char *end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || rest != end || value < low || value > high)
        return std::nullopt;
    return value;
}

// An exception code: 1 to 255, decimal or hexadecimal after "0x"; nullopt otherwise.
std::optional<std::uint8_t> exceptionCode(const std::string &text)
{
    const bool hexadecimal = text.starts_with("0x") || text.starts_with("0X");
    const std::string digits = hexadecimal ? text.substr(2) : text;
    int value = 0;
    const char *end = digits.data() + digits.size();
    const auto [rest, error] = std::from_chars(digits.data(), end, value, hexadecimal ? 16 : 10);
    if (digits.empty() || error != std::errc() || rest != end || value < 1 || value > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

// The framing of --settings: parity N, E or O, 7 or 8 data bits, 1 or 2 stop bits.
std::optional<serial::CommSettings> lineSettings(int speed, const std::string &framing)
{
    serial::CommSettings settings;
    const QString text =
        QString::number(speed) + QLatin1Char(',') + QString::fromStdString(framing);
    if (serial::parseSettings(text, settings))
        return std::nullopt;
    using Parity = serial::CommSettings::Parity;
    if (settings.parity == Parity::Mark || settings.parity == Parity::Space ||
        settings.dataBits < 7 || settings.stopBits == serial::CommSettings::StopBits::OneAndHalf)
        return std::nullopt;
    return settings;
}

// A list of slave addresses such as "7,12,247" or "1,5-7": ascending, each once; nullopt
// when an item is not an address from 1 to 247 or a range low-high of them.
std::optional<std::vector<int>> addressList(const std::string &text)
{
    std::vector<bool> listed(kMaxSlaveAddress + 1, false);
    std::size_t begin = 0;
    for (;;) {
        const std::size_t comma = std::min(text.find(',', begin), text.size());
        const std::string item = text.substr(begin, comma - begin);
        const std::size_t dash = item.find('-');
        const std::optional<int> low =
            decimalIn(item.substr(0, dash), kMinSlaveAddress, kMaxSlaveAddress);
        const std::optional<int> high =
            dash == item.npos
                ? low
                : decimalIn(item.substr(dash + 1), kMinSlaveAddress, kMaxSlaveAddress);
        if (!low || !high || *low > *high)
            return std::nullopt;
        for (int address = *low; address <= *high; ++address)
            listed[static_cast<std::size_t>(address)] = true;
        if (comma == text.size())
            break;
        begin = comma + 1;
    }
    std::vector<int> addresses;
    for (int address = kMinSlaveAddress; address <= kMaxSlaveAddress; ++address)
        if (listed[static_cast<std::size_t>(address)])
            addresses.push_back(address);
    return addresses;
}

// --gateway answers every address with its own exception: neither --address nor --exception
// can be given with it. The error text, or empty.
std::string gatewayConflict(const SlaveOptions &options, bool addressGiven)
{
    if (options.gateway && (addressGiven || options.exception))
        return std::string("--gateway answers every address with exception 0B: leave out ") +
               (addressGiven ? "--address" : "--exception");
    return {};
}

// --no-pty leaves TCP as the only way in, and no link to name. The error text, or empty.
std::string endsConflict(const SlaveOptions &options)
{
    if (options.noPty && !options.tcpPort)
        return "--no-pty needs --tcp PORT: the simulator would have no port at all";
    if (options.noPty && options.port)
        return "--port names the pseudo-terminal's link, and --no-pty makes none";
    return {};
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string> &arguments)
{
    ParsedOptions parsed;
    SlaveOptions &options = parsed.options;
    std::optional<int> speed;
    std::optional<std::string> framing;
    bool turnaroundGiven = false;
    bool addressGiven = false;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }

        const auto flag = [&](bool &target) {
            if (inlineValue) {
                parsed.error = name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        const auto text = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 < arguments.size())
                return arguments[++i];
            parsed.error = name + " needs a value";
            return std::nullopt;
        };
        const auto number = [&](int low, int high) -> std::optional<int> {
            const std::optional<std::string> value = text();
            if (!value)
                return std::nullopt;
            const std::optional<int> result = decimalIn(*value, low, high);
            if (!result)
                parsed.error = name + " must be a number from " + std::to_string(low) + " to " +
                               std::to_string(high) + ", not \"" + *value + "\"";
            return result;
        };
        // Stores a number within [low, high] into target; false on a wrong value.
        const auto numberInto = [&](int &target, int low, int high) {
            const std::optional<int> value = number(low, high);
            target = value.value_or(target);
            return value.has_value();
        };

        bool ok = true;
        if (name == "--help" || name == "-h") {
            ok = flag(options.help);
        } else if (name == "--silent") {
            ok = flag(options.silent);
        } else if (name == "--quiet") {
            ok = flag(options.quiet);
        } else if (name == "--echo") {
            ok = flag(options.echo);
        } else if (name == "--port") {
            options.port = number(kMinPortNumber, kMaxPortNumber);
            ok = options.port.has_value();
        } else if (name == "--delay") {
            ok = numberInto(options.delayMs, 0, kMaxDelayMs);
        } else if (name == "--speed") {
            speed = number(kMinSpeed, kMaxSpeed);
            ok = speed.has_value();
        } else if (name == "--settings") {
            framing = text();
            ok = framing.has_value();
        } else if (name == "--turnaround") {
            ok = numberInto(options.turnaroundMs, 0, kMaxTurnaroundMs);
            turnaroundGiven = true;
        } else if (name == "--usb-latency") {
            ok = numberInto(options.usbLatencyMs, 1, kMaxUsbLatencyMs);
        } else if (name == "--bad-crc") {
            ok = numberInto(options.badCrcEvery, 1, kMaxBadCrcEvery);
        } else if (name == "--short") {
            ok = numberInto(options.shortBy, 1, kMaxShortBy);
        } else if (name == "--exception") {
            const std::optional<std::string> value = text();
            if (value) {
                options.exception = exceptionCode(*value);
                if (!options.exception)
                    parsed.error = "--exception must be a code from 1 to 255, decimal or "
                                   "hexadecimal after 0x, not \"" +
                                   *value + "\"";
            }
            ok = options.exception.has_value();
        } else if (name == "--address") {
            const std::optional<std::string> value = text();
            const std::optional<std::vector<int>> list = value ? addressList(*value) : std::nullopt;
            if (value && !list)
                parsed.error = "--address must be slave addresses from 1 to 247, separated by "
                               "commas, ranges as in 5-7; not \"" +
                               *value + "\"";
            options.addresses = list.value_or(options.addresses);
            addressGiven = list.has_value();
            ok = addressGiven;
        } else if (name == "--gateway") {
            ok = flag(options.gateway);
        } else if (name == "--tap") {
            options.tap = text();
            if (options.tap && options.tap->empty())
                parsed.error = "--tap needs a path for the tap's link, such as /tmp/tap";
            ok = options.tap && !options.tap->empty();
        } else if (name == "--tcp") {
            options.tcpPort = number(0, kMaxTcpPort);
            ok = options.tcpPort.has_value();
        } else if (name == "--no-pty") {
            ok = flag(options.noPty);
        } else {
            parsed.error = "unknown argument \"" + arguments[i] + "\"";
            ok = false;
        }
        if (!ok)
            return parsed;
    }

    if (parsed.error = gatewayConflict(options, addressGiven); !parsed.error.empty())
        return parsed;
    if (parsed.error = endsConflict(options); !parsed.error.empty())
        return parsed;
    if (!speed && (framing || turnaroundGiven)) {
        parsed.error = std::string(framing ? "--settings" : "--turnaround") +
                       " needs --speed: without it replies go out at once";
        return parsed;
    }
    if (speed) {
        options.line = lineSettings(*speed, framing.value_or("N,8,1"));
        if (!options.line)
            parsed.error = "--settings must be the parity N, E or O, 7 or 8 data bits and 1 or 2 "
                           "stop bits, as in N,8,1 or E,7,2; not \"" +
                           framing.value_or("") + "\"";
    }
    return parsed;
}

std::string helpText()
{
    return R"(Usage: wirelark-slave [options]

Simulated Modbus RTU slave devices on a virtual serial port, for trying Wirelark or
any other Modbus RTU master without hardware. It creates a pseudo-terminal, links it
as comN in the port directory, so that Wirelark offers it as ComN, and answers
requests until it is stopped with Ctrl-C, SIGINT, SIGTERM or SIGHUP. Then it prints
the totals and removes the link, unless someone has replaced it meanwhile. It can
also serve over TCP, and show the line on a tap.

Options:
  --port N          link the port as comN, N from 1 to 32767. Default: the lowest
                    number that maps to no serial device. An existing comN that
                    points to a device that exists is never replaced (the
                    simulator refuses to start); a dangling link is replaced.
                    Wirelark's port box lists Com1 to Com16.
  --address LIST    the slave addresses to answer, 1 to 247, separated by commas,
                    ranges as in 5-7 (default 1): --address 7,12,247 puts three
                    slaves on the line, each its own device with the registers
                    below. Requests for another address are ignored (no reply).
                    Requests for address 0 (broadcast) are carried out by every
                    slave and never answered.
  --gateway         answer as a gateway whose targets are gone: every request for
                    any address 1 to 247 gets exception 0B (gateway target failed
                    to respond), and none is carried out. Not with --address or
                    --exception.
  --delay MS        wait MS milliseconds (0 to 60000) before each reply
                    (default 0).
  --silent          never reply, to exercise timeouts; requests are still read,
                    carried out and printed.
  --quiet           do not print the requests, replies, echoes and notes.
  -h, --help        show this text and exit.

Wire time (without --speed a request ends after 4 ms of silence and its reply goes
out at once):
  --speed BAUD      keep the time of a line at BAUD bits per second, 50 to
                    4000000. A character takes its start bit, data bits, parity
                    bit and stop bits. The request's characters reach the slave
                    one after another from the moment the master writes them;
                    it ends after 3.5 characters of silence after its last (a
                    fixed 1.75 ms above 19200 baud); the reply starts
                    --turnaround later, and each of its bytes reaches the master
                    when its last stop bit has ended. The master must set its
                    end to BAUD, as on a real line: a pseudo-terminal shows the
                    speed its other end was given. A master at another speed
                    gets what its UART makes of the reply, a few garbled bytes
                    that never hold a frame with a right CRC (a "garbled" line
                    and a note say so); the request itself is taken as sent.
  --settings P,D,S  the framing for --speed: parity N, E or O, 7 or 8 data bits,
                    1 or 2 stop bits (default N,8,1). It sets the timing only: a
                    pseudo-terminal takes no parity, and the master's framing
                    is not compared, only its speed.
  --turnaround MS   with --speed: milliseconds from the end of a request's 3.5
                    characters of silence to the start of its reply, 0 to 1000
                    (default 1).
  --usb-latency MS  hand bytes to the master as a USB serial adapter does, MS from
                    1 to 255 (16 is common): they gather from the line, and go on
                    when MS milliseconds have passed since the first of them, or
                    at once when 62 have gathered. Works with or without --speed.

Faults:
  --exception CODE  answer every request for these slaves with exception CODE,
                    1 to 255, decimal or hexadecimal after 0x (11 and 0x0B are
                    the same), and do not carry it out.
  --bad-crc N       every Nth reply goes out with a wrong CRC, N from 1 to
                    1000000 (1: every reply): both CRC bytes are inverted.
  --short N         drop the last N bytes (1 to 255) of every reply; a reply of
                    N bytes or fewer is not sent at all.
  --echo            send every request back before its reply, as a two-wire
                    RS-485 adapter hears the master's own bytes: at once when the
                    request has ended, also for requests that get no reply.

More ends:
  --tap PATH        a second pseudo-terminal, linked at PATH, on which the bus
                    shows as a passive tap hears it: every request read and every
                    reply sent, in order, each byte when its character has ended
                    on the line, batched as --usb-latency says; not the echo.
                    Set the tap's end to the --speed: a reader at another speed
                    gets garble. The simulator never waits for the tap: bytes
                    that find its buffer full are dropped, those written while
                    nobody has it open are lost, and both are counted on the
                    "Tap:" line at the end.
  --tcp PORT        also serve the same RTU frames (CRC and all, no header) over
                    TCP on 127.0.0.1 at PORT, 0 to 65535 (0: a free port, which
                    the start line names). The same slaves, registers, wire time
                    and faults; a client's end has no speed. One client at a
                    time: another that connects meanwhile is closed at once,
                    before any byte. A client may close its sending side after
                    its requests, as socat does at the end of its input: they
                    are still answered, the connection ends when the replies are
                    out, and a client that connects meanwhile waits for that. A
                    client that goes away takes its unsent bytes with it.
  --no-pty          serve over TCP only: no pseudo-terminal, no link. Needs
                    --tcp; not with --port.
A value follows its option as the next argument or after "=" (--port=5).

The options combine. A reply is built (or --exception takes its place), gets a
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
  03 read holding registers        04 read input registers
  06 write single register         16 (hex 10) write multiple registers
over 100 holding and 100 input registers, addresses 0 to 99. The replies and the
exception replies are those of libmodbus: exception 01 (illegal function) for every
other function code, 02 (illegal data address) for registers outside 0 to 99, 03
(illegal data value) for a count outside 1 to 125 (1 to 123 when writing). A frame
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
}

} // namespace simulator
