#include "polloptions.h"

#include "frame/fieldrules.h"
#include "frame/hextext.h"
#include "serial/portmap.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace poll
{

namespace
{

// Repeats beyond this are a typing mistake: at the shortest wait they would take 29 years.
constexpr qint64 kMaxRepeat = 99'999'999'999;

const char kDescription[] =
    "Sends one Modbus RTU request over a serial port and prints each reply, as the Wirelark\n"
    "window's send button does: the same request from the same four hexadecimal fields, the\n"
    "same port names, line settings and wait, the same log line and register read-outs.";

const char kEpilogue[] = R"(
Output (--format):
  text  per exchange the window's log line (the reply's bytes in hex, CR LF), then
        "registers A B C": the window's three read-outs in decimal, "-" where the
        window leaves one empty.
  csv   a header line, then per exchange: time,seq,request,reply,reg1,reg2,reg3,
        verdict,valid,first_byte_ms,last_byte_ms,detail.
  json  one object per exchange and line with the same fields; registers as an
        array of three numbers or null.
A reply is valid with a good CRC, the request's address and function, and the length
the function asks for; an exception reply is not (verdict "exception": the slave did not
do what was asked), and no reply to a broadcast (address 00) is. Times are from the
return of the request's write to the first and the last byte of the reply, in
milliseconds. Standard error gets a line about the port at the start and a summary at
the end: sent, valid, invalid, silent, and the minimum, median and maximum time to the
last byte. Every word is English whatever --lang says, as the window's warnings are.

Ctrl-C, SIGINT, SIGTERM or SIGHUP ends the run after the exchange in flight; a second one
ends it at once, without that exchange.

Exit status: 0 when at least one exchange ran and every reply was valid; 1 when a
reply was invalid or missing, or the device failed; 2 for a wrong command line, a
port that could not be opened, or a capture or output that could not be written.
)";

struct HexOption {
    const char *name;
    const char *valueName;
    const char *description;
    qint16 width;
};

constexpr HexOption kHexOptions[] = {
    {"address", "hex", "Slave address, 2 hex digits (default 01).", 2},
    {"function", "hex", "Function code, 2 hex digits (default 03).", 2},
    {"register", "hex", "Start register, 4 hex digits (default 0000).", 4},
    {"count", "hex", "Register count, 4 hex digits (default 0002).", 4},
};

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// A non-negative decimal number of digits only; nothing for any other text or beyond limit.
std::optional<qint64> plainNumber(const QString &text, qint64 limit)
{
    static const QRegularExpression digitsOnly(QStringLiteral("^[0-9]+$"));
    if (!digitsOnly.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value > limit)
        return std::nullopt;
    return value;
}

} // namespace

PortTarget portTarget(const QString &text, QString &error)
{
    if (text.contains(QLatin1Char('/')))
        return {{}, text};
    static const QRegularExpression named(QStringLiteral("^(?:com)?\\s*([0-9]+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = named.match(text.trimmed());
    if (match.hasMatch()) {
        const std::optional<qint64> number = plainNumber(match.captured(1), serial::kMaxPortNumber);
        if (number && *number >= 1)
            return {QStringLiteral("Com%1").arg(*number), {}};
        error = QStringLiteral("--port %1: the port number must be 1 to %2.")
                    .arg(text)
                    .arg(serial::kMaxPortNumber);
        return {};
    }
    error = QStringLiteral("--port \"%1\" names no port. Give Com5, com5 or 5, or a device path "
                           "such as /dev/ttyUSB0.")
                .arg(text);
    return {};
}

QString hexField(const QString &option, const QString &text, qint16 width, QString &error)
{
    for (const QChar c : text) {
        if (!isHexDigit(c)) {
            error = QStringLiteral("--%1 \"%2\": \"%3\" is not a hexadecimal digit. Use 0-9 and "
                                   "A-F.")
                        .arg(option, text, QString(c));
            return {};
        }
    }
    if (text.size() > width) {
        error = QStringLiteral("--%1 \"%2\" is too long: at most %3 hexadecimal digits (%4 to "
                               "%5).")
                    .arg(option, text)
                    .arg(width)
                    .arg(QString(width, QLatin1Char('0')), QString(width, QLatin1Char('F')));
        return {};
    }
    return frame::Length_str(text, width);
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    PollOptions &options = result.options;

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this text and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("The port: Com5, com5 or 5 as the window's port box maps it (links in "
                       "the port directory first), or a device path such as /dev/ttyUSB0. "
                       "Required."),
        QStringLiteral("port"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Line speed in baud (default 9600)."),
                                   QStringLiteral("baud"), options.speedText);
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("Parity, data bits, stop bits as in the window's framing box (default "
                       "N,8,1). A pseudo-terminal takes only N,8,1 and N,8,2."),
        QStringLiteral("p,d,s"), options.framingText);
    parser.addOptions({help, version, port, speed, settings});
    QList<QCommandLineOption> hexOptions;
    for (const HexOption &hex : kHexOptions) {
        hexOptions.append(QCommandLineOption(QString::fromLatin1(hex.name),
                                             QString::fromLatin1(hex.description),
                                             QString::fromLatin1(hex.valueName)));
        parser.addOption(hexOptions.last());
    }
    const QCommandLineOption wait(
        QStringLiteral("wait"),
        QStringLiteral("Milliseconds to wait for the reply after each request, 10 to 10000 "
                       "(default 100); a value outside is brought to the nearer end."),
        QStringLiteral("ms"), QStringLiteral("100"));
    const QCommandLineOption repeat(
        QStringLiteral("repeat"),
        QStringLiteral("Exchanges to run, back to back (default 1); 0 runs until Ctrl-C."),
        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption capture(
        QStringLiteral("capture"),
        QStringLiteral("Write every request and reply to a pcap file that Wireshark and tshark "
                       "decode as Modbus RTU; flushed after every exchange."),
        QStringLiteral("file"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("text (default), csv or json."),
                                    QStringLiteral("format"), QStringLiteral("text"));
    const QCommandLineOption lang(
        QStringLiteral("lang"),
        QStringLiteral("en (the default), or zh_TW (also zh) as the window takes it; the words "
                       "printed are English in both."),
        QStringLiteral("lang"), QStringLiteral("en"));
    parser.addOptions({wait, repeat, capture, format, lang});
    // Qt's first line names the program as it was started; the help names it as installed.
    const QString qtHelp = parser.helpText();
    result.helpText = QStringLiteral("Usage: wirelark-poll --port PORT [options]\n\n") +
                      qtHelp.mid(qtHelp.indexOf(QLatin1Char('\n')) + 1) +
                      QString::fromLatin1(kEpilogue);

    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        if (!result.error.endsWith(QLatin1Char('.')))
            result.error += QLatin1Char('.');
        return result;
    }
    if (parser.isSet(help)) {
        result.help = true;
        return result;
    }
    if (parser.isSet(version)) {
        result.version = true;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument \"%1\"; every value follows its option.")
                           .arg(parser.positionalArguments().first());
        return result;
    }
    // A value given twice is a mistake that would otherwise go unnoticed: the last one would win.
    for (const QString &name : parser.optionNames()) {
        if (parser.optionNames().count(name) > 1) {
            result.error = QStringLiteral("--%1 is given more than once.").arg(name);
            return result;
        }
    }

    if (!parser.isSet(port)) {
        result.error = QStringLiteral("--port is required: give the port to poll, for example "
                                      "--port com5 or --port /dev/ttyUSB0.");
        return result;
    }
    options.port = portTarget(parser.value(port), result.error);
    if (!result.error.isEmpty())
        return result;
    options.speedText = parser.value(speed);
    options.framingText = parser.value(settings);

    QString *fieldTexts[] = {&options.fields.address, &options.fields.function,
                             &options.fields.startRegister, &options.fields.registerCount};
    for (int i = 0; i < 4; ++i) {
        if (!parser.isSet(hexOptions[i]))
            continue;
        *fieldTexts[i] = hexField(QString::fromLatin1(kHexOptions[i].name),
                                  parser.value(hexOptions[i]), kHexOptions[i].width, result.error);
        if (!result.error.isEmpty())
            return result;
    }

    // The window's wait field takes digits only, and is brought into range when it loses focus.
    const QString waitText = parser.value(wait);
    static const QRegularExpression digitsOnly(QStringLiteral("^[0-9]+$"));
    if (!digitsOnly.match(waitText).hasMatch()) {
        result.error = QStringLiteral("--wait \"%1\" is not a number of milliseconds: give "
                                      "digits only, 10 to 10000.")
                           .arg(waitText);
        return result;
    }
    const QString clamped = frame::clampDelayText(waitText);
    options.waitMs = static_cast<int>(frame::delayMilliseconds(clamped));
    if (clamped != waitText)
        result.notes << QStringLiteral("--wait %1 is outside 10 to 10000; waiting %2 ms.")
                            .arg(waitText)
                            .arg(options.waitMs);

    const std::optional<qint64> repeats = plainNumber(parser.value(repeat), kMaxRepeat);
    if (!repeats) {
        result.error = QStringLiteral("--repeat \"%1\" is not a count of exchanges: give 0 (until "
                                      "Ctrl-C) or 1 to %2.")
                           .arg(parser.value(repeat))
                           .arg(kMaxRepeat);
        return result;
    }
    options.repeat = *repeats;

    if (parser.isSet(capture)) {
        options.capturePath = parser.value(capture);
        if (options.capturePath.isEmpty() || options.capturePath == QLatin1String("-")) {
            result.error = QStringLiteral("--capture needs a file name; standard output carries "
                                          "the exchanges (for a live view, --capture "
                                          ">(tshark -r -) in bash).");
            return result;
        }
    }

    static const QStringList languages{QStringLiteral("en"), QStringLiteral("zh_TW"),
                                       QStringLiteral("zh")};
    if (!languages.contains(parser.value(lang))) {
        result.error = QStringLiteral("unknown language \"%1\" for --lang: use en, or zh_TW "
                                      "(also zh).")
                           .arg(parser.value(lang));
        return result;
    }

    const QString formatText = parser.value(format);
    if (formatText == QLatin1String("text"))
        options.format = OutputFormat::Text;
    else if (formatText == QLatin1String("csv"))
        options.format = OutputFormat::Csv;
    else if (formatText == QLatin1String("json"))
        options.format = OutputFormat::Json;
    else
        result.error = QStringLiteral("--format \"%1\": give text, csv or json.").arg(formatText);
    return result;
}

} // namespace poll
