#include "scanoptions.h"

#include "console/addresslist.h"
#include "console/optionvalues.h"

#include <QRegularExpression>

namespace scan
{

namespace
{

constexpr int kMinTimeoutMs = 1;
constexpr int kMaxTimeoutMs = 10000;
constexpr qint32 kSlowSpeed = 4800; // below it, the default wait is doubled
constexpr int kFastTimeoutMs = 100;
constexpr int kSlowTimeoutMs = 200;

const char kEpilogue[] =
    R"(Each probe waits for its reply until the timeout. What came back is judged:
  reply      a valid reply from the probed address: a device
  exception  a valid exception reply: a slave refused the probe, so it is there
and, not a device: a gateway's exception 0A or 0B, garbled bytes (something is
on the line, maybe at other settings), the probe's own echo alone (a two-wire
adapter; an echo in front of a reply is removed first), silence. Zero bytes in
front of a reply are skipped. A device found is probed again, up to three times
at ten times the timeout, before it is reported. When every address answers, a
single line says so: a gateway or a slave that answers every address.

Output: per device a line "address 7 at 19200,E,8,1: reply in 3.1 ms" (or
"exception 02"); with --format json one object per line: {"address": 7,
"speed": 19200, "settings": "E,8,1", "outcome": "reply", "exception": null,
"time_ms": 3.1}. An address that answers at several settings is printed once,
at the first; a note names the others. The time is from the probe's write to
the reply's last byte. Progress goes to standard error: a line that redraws
itself on a terminal, one line per settings otherwise. Settings the port
refuses (a pseudo-terminal refuses parity) are skipped with a note. No
broadcast (address 0) is ever sent.

Ctrl-C, SIGINT or SIGTERM stops after the probe in flight and prints what was
found; a second one stops at once.

Exit status: 0 when a device was found, 1 when none, 2 for a wrong command line
or a port that cannot be opened.
)";

console::ProgramOptions program()
{
    const ScanOptions defaults;
    QStringList speeds;
    for (qint32 speed : defaults.speeds)
        speeds << QString::number(speed);
    return {
        QStringLiteral("wirelark-scan"),
        QStringLiteral("--port PORT [options]"),
        QStringLiteral("Finds the Modbus RTU slaves on a serial line: probes each address at "
                       "each speed and line setting, and prints every device that answers, "
                       "with its address, speed, settings and reply time."),
        {console::option("port", "PORT",
                         "the port, required: Com5, com5 or 5 as the window's port box maps "
                         "it, or a device path such as /dev/ttyUSB0."),
         console::option("speeds", "LIST", "the speeds in baud, in order (default %1).",
                         speeds.join(QLatin1Char(','))),
         console::option("settings", "LIST",
                         "parity, data bits, stop bits, in groups of three, in order "
                         "(default %1).",
                         defaults.framings.join(QLatin1Char(','))),
         console::option("addresses", "LIST",
                         "addresses and ranges such as 1-5,7 (default 1-247 in the order 1, "
                         "2, 247, then the rest)."),
         console::option("timeout", "MS",
                         "the wait for a silent probe, %1 to %2 ms (default %3 at %4 baud and "
                         "above, %5 below).",
                         kMinTimeoutMs, kMaxTimeoutMs, kFastTimeoutMs, kSlowSpeed, kSlowTimeoutMs),
         console::option("probe", "FC",
                         "the probe: 03 (default, holding register 0, quantity 1), 04 (input "
                         "register 0), 11 (report slave id) or 2B (read device id)."),
         console::option("first", "", "stop at the first device found."),
         console::option("format", "FORMAT", "text (default) or json."),
         console::option("dry-run", "",
                         "print the plan and its longest duration; the port is not opened.")},
        QStringLiteral("--port=5"),
        QString::fromUtf8(kEpilogue)};
}

QString readOptions(const QCommandLineParser &parser, ScanOptions &options)
{
    const auto value = [&parser](const char *name) {
        return parser.value(QLatin1String(name));
    };
    const auto isSet = [&parser](const char *name) {
        return parser.isSet(QLatin1String(name));
    };
    if (const QString twice = console::optionGivenTwice(parser); !twice.isEmpty())
        return twice;
    QString error;
    if (!isSet("port"))
        return QStringLiteral("--port is required: give the port to scan, for example --port com5 "
                              "or --port /dev/ttyUSB0.");
    const std::optional<console::SerialPortChoice> port = console::serialPort(value("port"), error);
    if (!port)
        return error;
    options.portText = port->portText;
    options.devicePath = port->devicePath;

    if (isSet("speeds")) {
        options.speeds.clear();
        for (const QString &speed : value("speeds").split(QLatin1Char(','))) {
            if (!console::lineSettings(speed, QStringLiteral("N,8,1"), error))
                return QStringLiteral("--speeds \"%1\": %2").arg(value("speeds"), error);
            if (!options.speeds.contains(speed.toInt()))
                options.speeds << speed.toInt();
        }
    }
    if (isSet("settings")) {
        const QStringList parts = value("settings").split(QLatin1Char(','));
        if (parts.size() % 3 != 0)
            return QStringLiteral("--settings \"%1\": give parity, data bits and stop bits in "
                                  "groups of three, such as N,8,1,E,8,1.")
                .arg(value("settings"));
        options.framings.clear();
        for (qsizetype at = 0; at < parts.size(); at += 3) {
            const QString framing = parts.mid(at, 3).join(QLatin1Char(',')).toUpper();
            if (!console::lineSettings(QStringLiteral("9600"), framing, error))
                return QStringLiteral("--settings \"%1\": %2").arg(value("settings"), error);
            if (!options.framings.contains(framing))
                options.framings << framing;
        }
    }
    if (isSet("addresses")) {
        const std::optional<QList<int>> addresses =
            console::addressList(QStringLiteral("addresses"), value("addresses"), error);
        if (!addresses)
            return error;
        options.addresses = *addresses;
    } else {
        options.addresses = defaultAddressOrder();
    }
    if (isSet("timeout")) {
        const std::optional<qint64> timeout =
            console::number(value("timeout"), kMinTimeoutMs, kMaxTimeoutMs);
        if (!timeout)
            return QStringLiteral("--timeout \"%1\": give milliseconds, %2 to %3.")
                .arg(value("timeout"))
                .arg(kMinTimeoutMs)
                .arg(kMaxTimeoutMs);
        options.timeoutMs = int(*timeout);
    }
    if (isSet("probe")) {
        const QString probe = value("probe").toUpper();
        bool known = false;
        for (ProbeKind kind : {ProbeKind::ReadHolding, ProbeKind::ReadInput, ProbeKind::ReportId,
                               ProbeKind::DeviceId}) {
            if (probe == probeName(kind) || probe == QStringLiteral("0X") + probeName(kind)) {
                options.probe = kind;
                known = true;
            }
        }
        if (!known)
            return QStringLiteral("--probe \"%1\": give 03, 04, 11 or 2B.").arg(value("probe"));
    }
    if (isSet("format")) {
        if (value("format") == QLatin1String("json"))
            options.format = OutputFormat::Json;
        else if (value("format") != QLatin1String("text"))
            return QStringLiteral("--format \"%1\": give text or json.").arg(value("format"));
    }
    options.first = isSet("first");
    options.dryRun = isSet("dry-run");
    return {};
}

} // namespace

QList<int> defaultAddressOrder()
{
    QList<int> order{1, 2, 247};
    for (int address = 3; address < 247; ++address)
        order << address;
    return order;
}

int timeoutFor(const ScanOptions &options, qint32 speed)
{
    if (options.timeoutMs)
        return *options.timeoutMs;
    return speed >= kSlowSpeed ? kFastTimeoutMs : kSlowTimeoutMs;
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    console::parseCommandLine(program(), arguments, result, [&result](const QCommandLineParser &p) {
        return readOptions(p, result.options);
    });
    return result;
}

} // namespace scan
