#include "sniff/sniffoptions.h"

#include "console/optionvalues.h"

#include <QCommandLineParser>

namespace sniff
{

namespace
{

const char kEpilogue[] =
    R"(Frames are split by their lengths and CRC, in both directions, not by the gaps
between bytes, so a USB adapter that hands bytes on in batches loses nothing.
Bytes that fit no frame are reported as noise. A response pairs with the request
waiting before it (same address, same function or the exception to it).

Output (--format):
  text  one line per frame: "#line time direction address function summary |
        hex".
  json  one object per frame and line: line, time, direction (request,
        response, noise), address, function, crc (good, bad), hex, request (the
        line of the request a response answers, null for none), response_ms,
        exception, unanswered (the line of a request that got no response),
        summary.
On stopping (Ctrl-C, SIGTERM, SIGHUP, end of input) standard error gets the
totals per slave: requests, responses, exceptions, bad CRCs, no reply, response
times.

--input FILE holds raw bytes as they came off the line, nothing else; they carry
no times, so no silence is seen in them and no response time is measured.

Wireshark extcap (called by Wireshark and tshark, not by hand):
  --extcap-interfaces            list the interfaces, one per serial port
  --extcap-version VERSION       the Wireshark version that asks
  --extcap-interface NAME        the interface meant, as wirelark-com5
  --extcap-dlts                  list its link type (252, exported PDUs)
  --extcap-config                list its settings (--speed, --settings)
  --extcap-capture-filter FILTER refused: the monitor takes no capture filter
  --capture                      a flag here: capture into --fifo until SIGTERM,
                                 or until Wireshark closes the FIFO
  --fifo PATH                    where the capture goes
Records say their direction by ports 65501 (master) and 65502 (slave): set the
Modbus RTU preference mbrtu.tcp.port to 65502 (tshark -o mbrtu.tcp.port:65502)
and Wireshark never has to guess whether a frame is a query or a response.

Exit status: 0 after a clean stop or the end of the input; 1 when the port
failed while open or an output could not be written; 2 for a wrong command
line, or a port, input or capture that could not be opened.
)";

// Wireshark's calls take a table of their own, in which --capture is a flag; they are not in
// the help, whose epilogue tells them.
console::ProgramOptions program(bool extcap)
{
    const SniffOptions defaults;
    const QList<console::OptionRow> line{
        console::option("speed", "BAUD", "the line speed in baud (default %1).",
                        defaults.speedText),
        console::option("settings", "P,D,S", "parity, data bits, stop bits (default %1).",
                        defaults.framingText)};
    console::ProgramOptions program{
        QStringLiteral("wirelark-sniff"),
        QStringLiteral("--port PORT [options]\n       wirelark-sniff --input FILE [options]"),
        QStringLiteral("Watches a Modbus RTU bus without a word: reads a serial port, never writes "
                       "a byte and never changes the modem lines, and prints every frame, both "
                       "directions, each response paired with its request. Also a Wireshark "
                       "extcap: tshark -D lists one interface per serial port."),
        {},
        QStringLiteral("--port=5"),
        QString::fromUtf8(kEpilogue)};
    if (extcap) {
        program.rows =
            line + QList<console::OptionRow>{console::option("extcap-interfaces", "", ""),
                                             console::option("extcap-version", "VERSION", ""),
                                             console::option("extcap-interface", "NAME", ""),
                                             console::option("extcap-dlts", "", ""),
                                             console::option("extcap-config", "", ""),
                                             console::option("extcap-capture-filter", "FILTER", ""),
                                             console::option("capture", "", ""),
                                             console::option("fifo", "PATH", "")};
        for (console::OptionRow &row : program.rows)
            row.hidden = true;
        return program;
    }
    program.rows =
        QList<console::OptionRow>{
            console::option("port", "PORT",
                            "the port: Com5, com5 or 5 as the window's port box maps it (links in "
                            "the port directory first), or a device path such as /dev/ttyUSB0. "
                            "Opened for reading only.")} +
        line +
        QList<console::OptionRow>{
            console::option("input", "FILE",
                            "read a recorded byte stream (raw bytes) instead of a port."),
            console::option("format", "FORMAT", "text (default) or json."),
            console::option("capture", "FILE",
                            "also write every frame to a pcap file that Wireshark and tshark "
                            "decode as Modbus RTU; - writes it to standard output instead of "
                            "the lines."),
            console::option("install-extcap", "",
                            "link this program into the user's Wireshark extcap folders and "
                            "exit.")};
    return program;
}

// Wireshark's calls: the mode they ask for and its options; the message of a wrong call.
QString readExtcapOptions(const QCommandLineParser &parser, SniffOptions &options)
{
    options.extcapInterface = parser.value(QStringLiteral("extcap-interface"));
    if (parser.isSet(QStringLiteral("extcap-interfaces"))) {
        options.mode = Mode::ExtcapInterfaces;
        return {};
    }
    if (options.extcapInterface.isEmpty())
        return QStringLiteral("--extcap-interface is required: name the interface, for example "
                              "wirelark-com5.");
    if (parser.isSet(QStringLiteral("extcap-dlts"))) {
        options.mode = Mode::ExtcapDlts;
        return {};
    }
    if (parser.isSet(QStringLiteral("extcap-config"))) {
        options.mode = Mode::ExtcapConfig;
        return {};
    }
    if (!parser.isSet(QStringLiteral("capture")))
        return QStringLiteral("give --extcap-dlts, --extcap-config or --capture with "
                              "--extcap-interface.");
    options.mode = Mode::ExtcapCapture;
    options.fifo = parser.value(QStringLiteral("fifo"));
    if (options.fifo.isEmpty())
        return QStringLiteral("--capture needs --fifo: the path to write to.");
    if (!parser.value(QStringLiteral("extcap-capture-filter")).trimmed().isEmpty())
        return QStringLiteral("the monitor takes no capture filter; clear it and filter the "
                              "display instead.");
    return {};
}

// The monitor's options; the message of a usage error, or empty.
QString readMonitorOptions(const QCommandLineParser &parser, SniffOptions &options)
{
    const auto isSet = [&parser](const char *name) {
        return parser.isSet(QLatin1String(name));
    };
    const auto value = [&parser](const char *name) {
        return parser.value(QLatin1String(name));
    };
    if (isSet("install-extcap")) {
        options.mode = Mode::InstallExtcap;
        return {};
    }
    if (isSet("port") == isSet("input"))
        return QStringLiteral("give the port to watch, for example --port com5 or --port "
                              "/dev/ttyUSB0, or a recording with --input FILE; not both.");
    QString error;
    if (isSet("port")) {
        const std::optional<console::SerialPortChoice> port =
            console::serialPort(value("port"), error);
        if (!port)
            return error;
        options.portText = port->portText;
        options.devicePath = port->devicePath;
    }
    options.inputPath = value("input");
    if (isSet("input") && options.inputPath.isEmpty())
        return QStringLiteral("--input needs a file name.");
    if (isSet("capture")) {
        options.capturePath = value("capture");
        if (options.capturePath.isEmpty())
            return QStringLiteral("--capture needs a file name, or - for standard output.");
    }
    const QString format = isSet("format") ? value("format") : QStringLiteral("text");
    if (format == QLatin1String("text"))
        options.format = OutputFormat::Text;
    else if (format == QLatin1String("json"))
        options.format = OutputFormat::Json;
    else
        return QStringLiteral("--format \"%1\": give text or json.").arg(format);
    return {};
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    bool extcap = false;
    QStringList args = arguments;
    for (QString &argument : args) {
        extcap = extcap || argument.startsWith(QLatin1String("--extcap-"));
        // Wireshark passes --extcap-version=4.0; a bare one has an empty value.
        if (argument == QLatin1String("--extcap-version"))
            argument += QLatin1Char('=');
    }
    console::parseCommandLine(program(extcap), args, result, [&](const QCommandLineParser &parser) {
        SniffOptions &options = result.options;
        if (const QString twice = console::optionGivenTwice(parser); !twice.isEmpty())
            return twice;
        if (parser.isSet(QStringLiteral("speed")))
            options.speedText = parser.value(QStringLiteral("speed"));
        if (parser.isSet(QStringLiteral("settings")))
            options.framingText = parser.value(QStringLiteral("settings"));
        QString error;
        if (const std::optional<serial::CommSettings> settings =
                console::lineSettings(options.speedText, options.framingText, error))
            options.line = *settings;
        else
            return error;
        return extcap ? readExtcapOptions(parser, options) : readMonitorOptions(parser, options);
    });
    return result;
}

} // namespace sniff
