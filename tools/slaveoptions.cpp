#include "slaveoptions.h"

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

} // namespace

ParsedOptions parseOptions(const std::vector<std::string> &arguments)
{
    ParsedOptions parsed;
    SlaveOptions &options = parsed.options;

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
        const auto number = [&](int low, int high) -> std::optional<int> {
            std::string value;
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                parsed.error = name + " needs a value";
                return std::nullopt;
            }
            const std::optional<int> result = decimalIn(value, low, high);
            if (!result)
                parsed.error = name + " must be a number from " + std::to_string(low) + " to " +
                               std::to_string(high) + ", not \"" + value + "\"";
            return result;
        };

        bool ok = true;
        if (name == "--help" || name == "-h") {
            ok = flag(options.help);
        } else if (name == "--silent") {
            ok = flag(options.silent);
        } else if (name == "--quiet") {
            ok = flag(options.quiet);
        } else if (name == "--port") {
            options.port = number(kMinPortNumber, kMaxPortNumber);
            ok = options.port.has_value();
        } else if (name == "--address") {
            const std::optional<int> address = number(kMinSlaveAddress, kMaxSlaveAddress);
            ok = address.has_value();
            options.address = address.value_or(options.address);
        } else if (name == "--delay") {
            const std::optional<int> delay = number(0, kMaxDelayMs);
            ok = delay.has_value();
            options.delayMs = delay.value_or(options.delayMs);
        } else {
            parsed.error = "unknown argument \"" + arguments[i] + "\"";
            ok = false;
        }
        if (!ok)
            return parsed;
    }
    return parsed;
}

std::string helpText()
{
    return R"(Usage: wirelark-slave [options]

A simulated Modbus RTU slave device on a virtual serial port, for trying Wirelark or
any other Modbus RTU master without hardware. It creates a pseudo-terminal, links it
as comN in the port directory, so that Wirelark offers it as ComN, and answers
requests until it is stopped with Ctrl-C, SIGINT, SIGTERM or SIGHUP. Then it removes
the link, unless someone has replaced it meanwhile.

Options:
  --port N      link the port as comN, N from 1 to 32767. Default: the lowest number
                that maps to no serial device. An existing comN that points to a
                device that exists is never replaced (the simulator refuses to
                start); a dangling link is replaced. Wirelark's port box lists
                Com1 to Com16.
  --address A   the slave address to answer, 1 to 247 (default 1). Requests for
                another address are ignored (no reply). Requests for address 0
                (broadcast) are carried out and never answered.
  --delay MS    wait MS milliseconds (0 to 60000) before each reply (default 0).
  --silent      never reply, to exercise timeouts; requests are still read,
                carried out and printed.
  --quiet       do not print the requests and replies.
  -h, --help    show this text and exit.
A value follows its option as the next argument or after "=" (--port=5).
A pseudo-terminal has no line speed or framing: the master's settings do not matter.

Function codes:
  03 read holding registers        04 read input registers
  06 write single register         16 (hex 10) write multiple registers
over 100 holding and 100 input registers, addresses 0 to 99. The replies and the
exception replies are those of libmodbus: exception 01 (illegal function) for every
other function code, 02 (illegal data address) for registers outside 0 to 99, 03
(illegal data value) for a count outside 1 to 125 (1 to 123 when writing). A frame
with a wrong CRC or too few bytes gets no reply; libmodbus takes a function code it
does not know for a frame of address, function and CRC alone, so a longer request
with such a code fails the CRC check. A request ends when the line has been silent
for 4 ms (3.5 characters at 9600 baud).

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
  14:03:07.512 request 01 03 00 00 00 02 C4 0B
  14:03:07.512 reply   01 03 04 00 01 00 00 AB F3
The time is local, HH:MM:SS.mmm. Other lines say why a request got no reply.

Exit status: 0 when stopped by a signal, 1 when the port cannot be set up (for
example the link is taken), 2 for a wrong command line.
)";
}

} // namespace simulator
