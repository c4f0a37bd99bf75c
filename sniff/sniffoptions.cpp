#include "sniff/sniffoptions.h"

#include "console/optionvalues.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <map>

namespace sniff
{

namespace
{

const char kDescription[] =
    "Watches a Modbus RTU bus without a word: reads a serial port, never writes a byte and\n"
    "never changes the modem lines, and prints every frame, both directions, each response\n"
    "paired with its request. Also a Wireshark extcap: tshark -D lists one interface per\n"
    "serial port.";

const char kEpilogue[] = R"(
Frames are split by their lengths and CRC, in both directions, not by the gaps between
bytes, so a USB adapter that hands bytes on in batches loses nothing. Bytes that fit no
frame are reported as noise. A response pairs with the request waiting before it (same
address, same function or the exception to it).

Output (--format):
  text  one line per frame: "#line time direction address function summary | hex".
  json  one object per frame and line: line, time, direction (request, response,
        noise), address, function, crc (good, bad), hex, request (the line of the
        request a response answers, null for none), response_ms, exception,
        unanswered (the line of a request that got no response), summary.
On stopping (Ctrl-C, SIGTERM, SIGHUP, end of input) standard error gets the totals per
slave: requests, responses, exceptions, bad CRCs, no reply, response times.

--input FILE holds raw bytes as they came off the line, nothing else; they carry no
times, so no silence is seen in them and no response time is measured.

Wireshark extcap (called by Wireshark and tshark, not by hand):
  --extcap-interfaces           list the interfaces, one per serial port
  --extcap-version <version>    the Wireshark version that asks
  --extcap-interface <name>     the interface meant, as wirelark-com5
  --extcap-dlts                 list its link type (252, exported PDUs)
  --extcap-config               list its settings (--speed, --settings)
  --extcap-capture-filter <f>   refused: the monitor takes no capture filter
  --fifo <path>                 with --capture: capture into the FIFO until SIGTERM
Records say their direction by ports 65501 (master) and 65502 (slave): set the Modbus
RTU preference mbrtu.tcp.port to 65502 (tshark -o mbrtu.tcp.port:65502) and Wireshark
never has to guess whether a frame is a query or a response.

Exit status: 0 after a clean stop or the end of the input; 1 when the port failed while
open or an output could not be written; 2 for a wrong command line, or a port, input or
capture that could not be opened.
)";

// One row of the options table; the extcap calls take the rows marked extcap.
struct OptionRow {
    const char *names;     // comma-separated
    const char *valueName; // null for a flag
    const char *description;
    bool monitor;
    bool extcap;
};

constexpr OptionRow kOptions[] = {
    {"h,help", nullptr, "Show this text and exit.", true, false},
    {"v,version", nullptr, "Show the version and exit.", true, false},
    {"port", "port",
     "The port: Com5, com5 or 5 as the window's port box maps it (links in the port directory "
     "first), or a device path such as /dev/ttyUSB0. Opened for reading only.",
     true, false},
    {"speed", "baud", "Line speed in baud (default 9600).", true, true},
    {"settings", "p,d,s", "Parity, data bits, stop bits (default N,8,1).", true, true},
    {"input", "file", "Read a recorded byte stream (raw bytes) instead of a port.", true, false},
    {"format", "format", "text (default) or json.", true, false},
    {"capture", "file",
     "Also write every frame to a pcap file that Wireshark and tshark decode as Modbus RTU; - "
     "writes it to standard output instead of the lines.",
     true, false},
    {"install-extcap", nullptr,
     "Link this program into the user's Wireshark extcap folders and exit.", true, false},
    {"extcap-interfaces", nullptr, "Wireshark: list the interfaces.", false, true},
    {"extcap-version", "version", "Wireshark: its version.", false, true},
    {"extcap-interface", "name", "Wireshark: the interface meant.", false, true},
    {"extcap-dlts", nullptr, "Wireshark: list the link type.", false, true},
    {"extcap-config", nullptr, "Wireshark: list the settings.", false, true},
    {"extcap-capture-filter", "filter", "Wireshark: a capture filter (refused).", false, true},
    {"capture", nullptr, "Wireshark: capture.", false, true},
    {"fifo", "path", "Wireshark: where the capture goes.", false, true},
};

} // namespace

void readPortText(const QString &text, SniffOptions &options, QString &error)
{
    if (text.contains(QLatin1Char('/'))) {
        options.devicePath = text;
        return;
    }
    if (const std::optional<int> number = console::portNumber(text, error))
        options.portText = QStringLiteral("Com%1").arg(*number);
    else
        error += QStringLiteral(" A device path such as /dev/ttyUSB0 is taken as well.");
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    SniffOptions &options = result.options;
    bool extcap = false;
    QStringList args = arguments;
    for (QString &argument : args) {
        extcap = extcap || argument.startsWith(QLatin1String("--extcap-"));
        // Wireshark passes --extcap-version=4.0; a bare one has an empty value.
        if (argument == QLatin1String("--extcap-version"))
            argument += QLatin1Char('=');
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    std::map<QString, QCommandLineOption> byName;
    for (const OptionRow &row : kOptions) {
        if (!(extcap ? row.extcap : row.monitor))
            continue;
        const QStringList names = QString::fromLatin1(row.names).split(QLatin1Char(','));
        QCommandLineOption option(names, QString::fromLatin1(row.description));
        if (row.valueName)
            option.setValueName(QString::fromLatin1(row.valueName));
        parser.addOption(option);
        byName.emplace(names.last(), option);
    }
    const QString qtHelp = parser.helpText();
    // Qt's first line names the program as it was started; the help names it as installed.
    result.helpText = QStringLiteral("Usage: wirelark-sniff --port PORT [options]\n"
                                     "       wirelark-sniff --input FILE [options]\n\n") +
                      qtHelp.mid(qtHelp.indexOf(QLatin1Char('\n')) + 1) +
                      QString::fromLatin1(kEpilogue);
    const auto isSet = [&](const char *name) {
        return parser.isSet(byName.at(QString::fromLatin1(name)));
    };
    const auto value = [&](const char *name) {
        return parser.value(byName.at(QString::fromLatin1(name)));
    };

    if (!parser.parse(args)) {
        result.error = parser.errorText();
        if (!result.error.endsWith(QLatin1Char('.')))
            result.error += QLatin1Char('.');
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument \"%1\"; every value follows its option.")
                           .arg(parser.positionalArguments().first());
        return result;
    }
    for (const QString &name : parser.optionNames()) {
        if (parser.optionNames().count(name) > 1) {
            result.error = QStringLiteral("--%1 is given more than once.").arg(name);
            return result;
        }
    }
    if (isSet("speed"))
        options.speedText = value("speed");
    if (isSet("settings"))
        options.framingText = value("settings");
    if (const std::optional<serial::CommSettings> line =
            console::lineSettings(options.speedText, options.framingText, result.error))
        options.line = *line;
    else
        return result;

    if (extcap) {
        options.extcapInterface = value("extcap-interface");
        if (isSet("extcap-interfaces")) {
            options.mode = Mode::ExtcapInterfaces;
            return result;
        }
        if (options.extcapInterface.isEmpty()) {
            result.error = QStringLiteral("--extcap-interface is required: name the interface, "
                                          "for example wirelark-com5.");
            return result;
        }
        if (isSet("extcap-dlts")) {
            options.mode = Mode::ExtcapDlts;
        } else if (isSet("extcap-config")) {
            options.mode = Mode::ExtcapConfig;
        } else if (isSet("capture")) {
            options.mode = Mode::ExtcapCapture;
            options.fifo = value("fifo");
            if (options.fifo.isEmpty())
                result.error = QStringLiteral("--capture needs --fifo: the path to write to.");
            else if (!value("extcap-capture-filter").trimmed().isEmpty())
                result.error = QStringLiteral("the monitor takes no capture filter; clear it and "
                                              "filter the display instead.");
        } else {
            result.error = QStringLiteral("give --extcap-dlts, --extcap-config or --capture "
                                          "with --extcap-interface.");
        }
        return result;
    }

    if (isSet("help")) {
        options.mode = Mode::Help;
        return result;
    }
    if (isSet("version")) {
        options.mode = Mode::Version;
        return result;
    }
    if (isSet("install-extcap")) {
        options.mode = Mode::InstallExtcap;
        return result;
    }
    if (isSet("port") == isSet("input")) {
        result.error = QStringLiteral("give the port to watch, for example --port com5 or --port "
                                      "/dev/ttyUSB0, or a recording with --input FILE; not both.");
        return result;
    }
    if (isSet("port")) {
        readPortText(value("port"), options, result.error);
        if (!result.error.isEmpty())
            return result;
    }
    options.inputPath = value("input");
    if (isSet("input") && options.inputPath.isEmpty()) {
        result.error = QStringLiteral("--input needs a file name.");
        return result;
    }
    if (isSet("capture")) {
        options.capturePath = value("capture");
        if (options.capturePath.isEmpty()) {
            result.error = QStringLiteral("--capture needs a file name, or - for standard "
                                          "output.");
            return result;
        }
    }
    const QString format = isSet("format") ? value("format") : QStringLiteral("text");
    if (format == QLatin1String("text"))
        options.format = OutputFormat::Text;
    else if (format == QLatin1String("json"))
        options.format = OutputFormat::Json;
    else
        result.error = QStringLiteral("--format \"%1\": give text or json.").arg(format);
    return result;
}

} // namespace sniff
