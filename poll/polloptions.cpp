#include "polloptions.h"

#include "console/language.h"
#include "console/optionvalues.h"
#include "frame/fieldrules.h"
#include "frame/writerequest.h"
#include "serial/portopening.h"

#include <QRegularExpression>

namespace poll
{

namespace
{

// Repeats beyond this are a typing mistake: at the shortest wait they would take 29 years.
constexpr qint64 kMaxRepeat = 99'999'999'999;
// An interval of a day at most: longer ones are a unit mistaken.
constexpr int kMaxIntervalMs = 86'400'000;
// A reply of FC 01 or 02 holds at most 2000 bits (250 data bytes).
constexpr int kMaxReadBits = 2000;
// The longest RTS delay the kernel's serial core takes; it would cut a longer one short.
constexpr int kMaxRtsDelayMs = 100;

struct HexOption {
    const char *name;
    const char *field;
    qint16 width;
    QString frame::RequestFields::*text;
};

constexpr HexOption kHexOptions[] = {
    {"address", "slave address", 2, &frame::RequestFields::address},
    {"function", "function code", 2, &frame::RequestFields::function},
    {"register", "start register, numbered from --base", 4, &frame::RequestFields::startRegister},
    {"count", "register count (of bits for FC 01 and 02, 1 to 7D0)", 4,
     &frame::RequestFields::registerCount},
};

const char kEpilogue[] = R"(Output (--format):
  text  per exchange the window's log line (the reply's bytes in hex, CR LF),
        then "registers A B C": the window's three read-outs in decimal, "-"
        where the window leaves one empty. For FC 01 and 02 the line is
        "bits 0 1 1 ...": the --count bits asked, the first coil or input first
        (bit 0 of the first data byte), the padding of the last byte left out;
        none for a reply that is not valid.
  csv   a header line, then per exchange: time,seq,request,reply,reg1,reg2,
        reg3,verdict,valid,first_byte_ms,last_byte_ms,detail. The columns are
        the same for every function: the bits of FC 01 and 02 are in the reply
        column only, as the values of --type are.
  json  one object per exchange and line with the same fields; registers as
        an array of three numbers or null; for FC 01 and 02 "bits" as an array
        of 0 and 1.
Register and coil numbers are hexadecimal, from 0 as the protocol numbers them,
or from 1 with --base 1: --register 1 is then the protocol's register 0, and
the line on standard error at the start names the registers so numbered.
A reply is valid with a good CRC, the request's address and function, and the
length the function asks for; an exception reply is not (verdict "exception":
the slave did not do what was asked), and no reply to a broadcast (address 00)
is. Times are from the return of the request's write to the first and the last
byte of the reply, in milliseconds. Standard error gets a line about the port at
the start and a summary at the end: sent, valid, invalid, silent, the minimum,
median and maximum time to the last byte, and valid replies per second from the
first request's write to the end of the last exchange. Every word is English
whatever --lang says, as the window's warnings are.

Ctrl-C, SIGINT, SIGTERM or SIGHUP ends the run after the exchange in flight; a
second one ends it at once, without that exchange.

Over TCP (--port tcp://HOST:PORT) the first connection waits at most 3 s; when
it fails the run ends with status 2. A connection that is refused or ends later
fails the exchange in flight (one line on standard error, counted as "failed"
in the summary), and every later exchange connects again first, waiting at most
--wait; a line says when the connection is back.

Exit status: 0 when at least one exchange ran and every reply was valid; 1 when
a reply was invalid or missing, an exchange failed, or the device failed; 2 for
a wrong command line, a port that could not be opened, or a capture or output
that could not be written.
)";

console::ProgramOptions program()
{
    const PollOptions defaults;
    console::ProgramOptions program{
        QStringLiteral("wirelark-poll"),
        QStringLiteral("--port PORT [options]"),
        QStringLiteral("A Modbus RTU master for the shell: reads and writes registers and coils "
                       "over a serial port or a TCP gateway, of one slave or several, and checks "
                       "each reply. Given only --port it sends the Wirelark window's request, as "
                       "its send button does: the same four hexadecimal fields, the same port "
                       "names, line settings and wait, the same log line and register read-outs."),
        {console::option("port", "PORT",
                         "the port, required: Com5, com5 or 5 as the window's port box maps it "
                         "(links in the port directory first), a device path such as "
                         "/dev/ttyUSB0, or tcp://HOST:PORT for RTU frames (CRC and all, no "
                         "header) over TCP through a gateway. A TCP connection that drops fails "
                         "its exchange; the next exchange connects again, waiting at most "
                         "--wait."),
         console::option("speed", "BAUD", "the line speed in baud (default %1).",
                         defaults.speedText),
         console::option("settings", "P,D,S",
                         "parity, data bits, stop bits as in the window's framing box (default "
                         "%1). A pseudo-terminal takes only N,8,1 and N,8,2.",
                         defaults.framingText),
         console::option("rs485", "",
                         "ask the driver for RS-485 mode, RTS raised while a request is sent, "
                         "and give its mode back at the end. A device without it (a "
                         "pseudo-terminal, most USB adapters) is refused, status 2, before a "
                         "byte is sent."),
         console::option("rts-delay", "BEFORE,AFTER",
                         "with --rs485: milliseconds RTS is up before the first character and "
                         "after the last, each 0 to %1 (default 0,0).",
                         kMaxRtsDelayMs),
         console::option("echo", "",
                         "each request comes back first, from a two-wire adapter that reads "
                         "back what it sends: it is taken off the front of the reply; bytes "
                         "without it are judged \"no echo\".")},
        QStringLiteral("--port=5"),
        QString::fromUtf8(kEpilogue)};
    for (const HexOption &hex : kHexOptions)
        if (QLatin1String(hex.name) == QLatin1String("address"))
            program.rows.append(console::option(
                "address", "HEX",
                "the slave address, at most 2 hex digits (default %1); a list such as 1,2,5-7 "
                "(hex, 1 to F7) asks each in turn in every cycle.",
                defaults.fields.address));
        else
            program.rows.append(
                console::option(hex.name, "HEX", "the %1, at most %2 hex digits (default %3).",
                                QLatin1String(hex.field), hex.width, defaults.fields.*hex.text));
    program.rows.append(console::option(
        "base", "0|1",
        "number registers and coils from 0, as the protocol does (default), or from 1, as many "
        "device manuals do: for --register, --write and the output. --register 40001 is 40001 "
        "hex, too long for the field, not holding register 1."));
    program.rows.append(
        {console::option("wait", "MS",
                         "milliseconds to wait for the reply after each request, %1 to %2 "
                         "(default %3); a value outside is brought to the nearer end.",
                         frame::kMinDelayMs, frame::kMaxDelayMs, defaults.waitMs),
         console::option("repeat", "N",
                         "exchanges to run, back to back (default %1); 0 runs until Ctrl-C.",
                         defaults.repeat),
         console::option("type", "TYPE",
                         "read the registers of an FC 03 or 04 reply as values of TYPE: %1 "
                         "(default u16); every value of the reply is printed.",
                         frame::valueTypeNames()),
         console::option("word-order", "ORDER",
                         "big (default: the first register holds the most significant word) or "
                         "little, for values of several registers."),
         console::option("byte-swap", "",
                         "the two bytes inside each register swapped, low byte first."),
         console::option("write", "V1,V2,...",
                         "write the values, in --type, from --register on: FC 06 for one "
                         "register, 10 for more, unless --function names 06 or 10."),
         console::option("coils", "",
                         "--write takes coils, 0 or 1 each: FC 05 for one, 0F for more."),
         console::option("fixed-wait", "",
                         "let every exchange last its whole wait, as the window's does; "
                         "without it an exchange ends at the end of the reply's frame."),
         console::option("interval", "MS",
                         "start a cycle (one request to each --address) every MS milliseconds, 1 "
                         "to %1, as ping -i does; without it requests go back to back, each "
                         "after a silent line.",
                         kMaxIntervalMs),
         console::option("capture", "FILE",
                         "write every request and reply to a pcap file that Wireshark and tshark "
                         "decode as Modbus RTU; flushed after every exchange."),
         console::option("format", "FORMAT", "text (default), csv or json."),
         console::option("lang", "LANG",
                         "%1 as the window takes it (default en); the words printed are English "
                         "in both.",
                         QLatin1String(console::kLanguageChoices))});
    return program;
}

// The port named by text: a TCP far end (see serial::tcpEndpointOfText), a port number as
// console::portNumber reads it, or a device path (any other text with a "/").
PortTarget portTarget(const QString &text, QString &error)
{
    if (serial::isTcpPortText(text)) {
        if (!serial::tcpEndpointOfText(text))
            error = QStringLiteral("--port \"%1\" is not a TCP far end: write tcp://HOST:PORT, "
                                   "PORT 1 to 65535, for example tcp://127.0.0.1:5020.")
                        .arg(text);
        return {{}, {}, text};
    }
    const std::optional<console::SerialPortChoice> port = console::serialPort(
        text, error, QStringLiteral("A device path such as /dev/ttyUSB0, or tcp://HOST:PORT,"));
    if (!port)
        return {};
    return {port->portText, port->devicePath, {}};
}

// --rs485, --rts-delay and --echo into options; the message of a usage error, or empty.
QString readLineOptions(const QCommandLineParser &parser, PollOptions &options)
{
    options.echo = parser.isSet("echo");
    if (parser.isSet("rts-delay") && !parser.isSet("rs485"))
        return QStringLiteral("--rts-delay goes with --rs485: the delays are those of the "
                              "driver's RS-485 mode.");
    if (!parser.isSet("rs485"))
        return {};
    if (!options.port.tcpText.isEmpty())
        return QStringLiteral("--rs485 asks a serial driver; %1 has none.")
            .arg(options.port.tcpText);
    options.rs485 = serial::Rs485Mode{};
    if (!parser.isSet("rts-delay"))
        return {};
    const QString text = parser.value("rts-delay");
    const QStringList delays = text.split(QLatin1Char(','));
    const std::optional<qint64> before =
        delays.size() == 2 ? console::number(delays[0], 0, kMaxRtsDelayMs) : std::nullopt;
    const std::optional<qint64> after =
        delays.size() == 2 ? console::number(delays[1], 0, kMaxRtsDelayMs) : std::nullopt;
    if (!before || !after)
        return QStringLiteral("--rts-delay \"%1\": give BEFORE,AFTER in milliseconds, each 0 to "
                              "%2, as --rts-delay 0,2.")
            .arg(text)
            .arg(kMaxRtsDelayMs);
    options.rs485 = serial::Rs485Mode{int(*before), int(*after)};
    return {};
}

// The options from a parsed command line into options; the message of a usage error, or empty.
QString readOptions(const QCommandLineParser &parser, PollOptions &options, QStringList &notes)
{
    const auto value = [&parser](const char *name) {
        return parser.value(name);
    };
    const auto isSet = [&parser](const char *name) {
        return parser.isSet(name);
    };
    if (const QString twice = console::optionGivenTwice(parser); !twice.isEmpty())
        return twice;

    QString error;
    if (!isSet("port"))
        return QStringLiteral("--port is required: give the port to poll, for example --port com5 "
                              "or --port /dev/ttyUSB0.");
    options.port = portTarget(value("port"), error);
    if (isSet("speed"))
        options.speedText = value("speed");
    if (isSet("settings"))
        options.framingText = value("settings");
    if (error.isEmpty()) {
        if (const std::optional<serial::CommSettings> line =
                console::lineSettings(options.speedText, options.framingText, error))
            options.line = *line;
    }
    if (error.isEmpty())
        error = readLineOptions(parser, options);
    const bool addressList = isSet("address") && (value("address").contains(QLatin1Char(',')) ||
                                                  value("address").contains(QLatin1Char('-')));
    if (addressList) {
        const std::optional<QList<int>> addresses =
            console::addressList(value("address"), 16, error);
        if (!addresses)
            return error;
        options.addresses = *addresses;
    }
    for (const HexOption &hex : kHexOptions) {
        if (addressList && QLatin1String(hex.name) == QLatin1String("address"))
            continue;
        if (error.isEmpty() && isSet(hex.name))
            options.fields.*hex.text =
                console::hexField(QLatin1String(hex.name), value(hex.name), hex.width, error);
    }
    if (!error.isEmpty())
        return error;
    if (isSet("base")) {
        const std::optional<qint64> base = console::number(value("base"), 0, 1);
        if (!base)
            return QStringLiteral("--base \"%1\": give 0 (registers and coils numbered from 0, "
                                  "as the protocol numbers them) or 1 (from 1).")
                .arg(value("base"));
        options.base = int(*base);
    }
    if (options.base == 1 && isSet("register")) {
        const uint number = options.fields.startRegister.toUInt(nullptr, 16);
        if (number == 0)
            return QStringLiteral("--register 0 with --base 1: registers are numbered from 1, the "
                                  "first is --register 1.");
        options.fields.startRegister =
            QStringLiteral("%1").arg(number - 1, 4, 16, QLatin1Char('0')).toUpper();
    }
    if (const int function = options.fields.function.toInt(nullptr, 16);
        !isSet("write") && (function == 1 || function == 2)) {
        const int count = options.fields.registerCount.toInt(nullptr, 16);
        if (count < 1 || count > kMaxReadBits)
            return QStringLiteral("--count %1 (%2 bits) does not fit: a reply of FC %3 holds 1 to "
                                  "%4 bits (7D0 hex).")
                .arg(options.fields.registerCount)
                .arg(count)
                .arg(options.fields.function)
                .arg(kMaxReadBits);
    }

    // The window's wait field takes digits only, and is brought into range when it loses focus.
    if (isSet("wait")) {
        const QString waitText = value("wait");
        const QString range =
            QStringLiteral("%1 to %2").arg(frame::kMinDelayMs).arg(frame::kMaxDelayMs);
        static const QRegularExpression digitsOnly(QStringLiteral("^[0-9]+$"));
        if (!digitsOnly.match(waitText).hasMatch())
            return QStringLiteral("--wait \"%1\" is not a number of milliseconds: give digits "
                                  "only, %2.")
                .arg(waitText, range);
        const QString clamped = frame::clampDelayText(waitText);
        options.waitMs = static_cast<int>(frame::delayMilliseconds(clamped));
        if (clamped != waitText)
            notes << QStringLiteral("--wait %1 is outside %2; waiting %3 ms.")
                         .arg(waitText, range)
                         .arg(options.waitMs);
    }

    if (isSet("repeat")) {
        const std::optional<qint64> repeats = console::number(value("repeat"), 0, kMaxRepeat);
        if (!repeats)
            return QStringLiteral("--repeat \"%1\" is not a count of exchanges: give 0 (until "
                                  "Ctrl-C) or 1 to %2.")
                .arg(value("repeat"))
                .arg(kMaxRepeat);
        options.repeat = *repeats;
    }

    if (isSet("coils") && !isSet("write"))
        return QStringLiteral(
            "--coils goes with --write: give the coils' values, as --write 1,0,1.");
    if (isSet("write")) {
        if (isSet("coils") && (isSet("type") || isSet("word-order") || isSet("byte-swap")))
            return QStringLiteral("coils are 0 or 1: --type, --word-order and --byte-swap are for "
                                  "registers.");
        const std::optional<frame::ValueLayout> layout =
            console::valueLayout(value("type"), value("word-order"), isSet("byte-swap"), error);
        if (!layout)
            return error;
        options.writeTexts = value("write").split(QLatin1Char(','));
        for (const QString &text : options.writeTexts) {
            if (isSet("coils")) {
                if (text != QLatin1String("0") && text != QLatin1String("1"))
                    return QStringLiteral("--write \"%1\" with --coils: each coil is 0 or 1.")
                        .arg(text);
                options.writeWords << quint16(text == QLatin1String("1"));
                continue;
            }
            const QList<quint16> words = frame::valueRegisters(text, *layout, error);
            if (words.isEmpty())
                return QStringLiteral("--write: ") + error;
            options.writeWords += words;
        }
        const bool single = options.writeWords.size() == 1;
        options.writeFunction = isSet("function")
                                    ? quint8(options.fields.function.toUInt(nullptr, 16))
                                : isSet("coils") ? (single ? 0x05 : 0x0F)
                                                 : (single ? 0x06 : 0x10);
        // Built once here so that a write that cannot be sent is refused before the port opens.
        if (frame::writeRequest(1, options.writeFunction,
                                quint16(options.fields.startRegister.toUInt(nullptr, 16)),
                                options.writeWords, error)
                .isEmpty())
            return QStringLiteral("--write: ") + error;
        options.fields.function =
            QStringLiteral("%1").arg(options.writeFunction, 2, 16, QLatin1Char('0')).toUpper();
    } else if (isSet("type") || isSet("word-order") || isSet("byte-swap")) {
        options.layout =
            console::valueLayout(value("type"), value("word-order"), isSet("byte-swap"), error);
        if (!options.layout)
            return error;
        const int function = options.fields.function.toInt(nullptr, 16);
        const int count = options.fields.registerCount.toInt(nullptr, 16);
        const int width = frame::registersPerValue(options.layout->type);
        if (function != 3 && function != 4)
            return QStringLiteral("--type, --word-order and --byte-swap read the registers of "
                                  "function 03 or 04, not %1.")
                .arg(options.fields.function);
        // A reply holds at most 125 registers; a count beyond would be refused by any slave.
        if (count < 1 || count > 125 || count % width != 0)
            return QStringLiteral("--count %1 (%2 registers) does not fit: a reply holds 1 to 125 "
                                  "registers, and a %3 takes %4, so give a multiple of %4.")
                .arg(options.fields.registerCount)
                .arg(count)
                .arg(frame::valueTypeName(options.layout->type))
                .arg(width);
    }
    options.fixedWait = isSet("fixed-wait");
    if (isSet("interval")) {
        const std::optional<qint64> interval =
            console::number(value("interval"), 1, kMaxIntervalMs);
        if (!interval)
            return QStringLiteral("--interval \"%1\" is not a period in milliseconds: give 1 to "
                                  "%2.")
                .arg(value("interval"))
                .arg(kMaxIntervalMs);
        options.intervalMs = static_cast<int>(*interval);
    }

    if (isSet("capture")) {
        options.capturePath = value("capture");
        if (options.capturePath.isEmpty() || options.capturePath == QLatin1String("-"))
            return QStringLiteral("--capture needs a file name; standard output carries the "
                                  "exchanges (for a live view, --capture >(tshark -r -) in "
                                  "bash).");
    }

    if (isSet("lang") && !console::languageNamed(value("lang")))
        return QStringLiteral("unknown language \"%1\" for --lang: use %2.")
            .arg(value("lang"), QLatin1String(console::kLanguageChoices));

    // In the order of OutputFormat.
    static const QStringList formats{QStringLiteral("text"), QStringLiteral("csv"),
                                     QStringLiteral("json")};
    if (isSet("format")) {
        const qsizetype format = formats.indexOf(value("format"));
        if (format < 0)
            return QStringLiteral("--format \"%1\": give text, csv or json.").arg(value("format"));
        options.format = static_cast<OutputFormat>(format);
    }
    return {};
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    console::parseCommandLine(program(), arguments, result, [&result](const QCommandLineParser &p) {
        return readOptions(p, result.options, result.notes);
    });
    return result;
}

} // namespace poll
