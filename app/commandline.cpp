#include "app/commandline.h"

#include "app/platformchoice.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QProcessEnvironment>

namespace
{

// The options of QGuiApplication, its X11 plugin and QApplication: with a value, then without.
constexpr const char *kQtValueOptions[] = {"platform",
                                           "platformpluginpath",
                                           "platformtheme",
                                           "plugin",
                                           "qwindowgeometry",
                                           "qwindowicon",
                                           "qwindowtitle",
                                           "session",
                                           "display",
                                           "geometry",
                                           "title",
                                           "icon",
                                           "name",
                                           "style",
                                           "stylesheet",
                                           "qmljsdebugger"};
constexpr const char *kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

const QString kProgram = QStringLiteral("wirelark");

QString helpText()
{
    return QStringLiteral(R"(Usage: wirelark [options]

Opens the window of Wirelark, a Modbus RTU master test tool for serial lines.

Options:
  --lang LANG    the language of the window: zh_TW (or zh), the designed Traditional
                 Chinese, whatever the locale (the default); en for English captions,
                 tool tips and screen-reader names. Warnings are English in both.
  --capture FILE record every request and reply into FILE, a pcap file that
                 Wireshark and tshark decode as Modbus RTU; "-" writes it to standard
                 output (wirelark --capture - | wireshark -k -i -). Each exchange is
                 saved as it ends. A file that cannot be created ends the program with
                 status 2 before the window opens.
  -h, --help     show this text and exit.
  -v, --version  show the version and exit.
A value follows its option as the next argument or after "=" (--lang=en).

Qt's own options work as well, among them -platform NAME, -style NAME and
-display DISPLAY. In a Wayland session that has XWayland too (WAYLAND_DISPLAY and
DISPLAY both set) the window runs as an X11 client, so that it opens in the middle
of the screen with its title bar; -platform wayland or QT_QPA_PLATFORM=wayland
makes it a Wayland client.

Exit status: 0, or 2 for a wrong command line.
)");
}

CommandLine failure(const QString &message)
{
    CommandLine result;
    result.action = CommandLine::Action::Fail;
    result.text =
        QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n").arg(kProgram, message);
    return result;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments, const QProcessEnvironment &environment)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption lang(QStringLiteral("lang"), {}, QStringLiteral("LANG"));
    const QCommandLineOption capture(QStringLiteral("capture"), {}, QStringLiteral("FILE"));
    parser.addOptions({help, version, lang, capture});
    for (const char *name : kQtValueOptions)
        parser.addOption(QCommandLineOption(QLatin1String(name), {}, QStringLiteral("value")));
    for (const char *name : kQtFlagOptions)
        parser.addOption(QCommandLineOption(QLatin1String(name)));

    if (!parser.parse(arguments))
        return failure(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("unexpected argument '%1'")
                           .arg(parser.positionalArguments().constFirst()));

    CommandLine result;
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::ShowHelp;
        result.text = helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = QStringLiteral("%1 %2\n").arg(kProgram, QStringLiteral(WIRELARK_VERSION));
        return result;
    }
    if (parser.isSet(lang)) {
        const QString value = parser.value(lang);
        if (value == QLatin1String("en")) {
            result.language = Language::English;
        } else if (value != QLatin1String("zh_TW") && value != QLatin1String("zh")) {
            return failure(
                QStringLiteral("unknown language '%1' for --lang: use en, or zh_TW (also zh)")
                    .arg(value));
        }
    }
    if (parser.isSet(capture)) {
        if (parser.value(capture).isEmpty())
            return failure(QStringLiteral("--capture needs a file name"));
        result.capturePath = parser.value(capture);
    }
    result.platform = preferredPlatform(arguments, environment);
    return result;
}
