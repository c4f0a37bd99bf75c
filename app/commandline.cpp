#include "app/commandline.h"

#include "app/platformchoice.h"

#include <QProcessEnvironment>

namespace
{

// The options of QGuiApplication, its X11 plugin and QApplication: with a value, then without.
const char kQtValueOptions[] = "platform platformpluginpath platformtheme plugin qwindowgeometry "
                               "qwindowicon qwindowtitle session display geometry title icon name "
                               "style stylesheet qmljsdebugger";
const char kQtFlagOptions[] = "reverse widgetcount nograb dograb sync";

console::ProgramOptions program()
{
    console::ProgramOptions program{
        QStringLiteral("wirelark"),
        QStringLiteral("[options]"),
        QStringLiteral("Opens the window of Wirelark, a Modbus RTU master test tool for serial "
                       "lines."),
        {console::option("lang", "LANG",
                         "the language of the window: zh_TW (or zh), the designed Traditional "
                         "Chinese, whatever the locale (the default); en for English captions, "
                         "tool tips and screen-reader names. Warnings are English in both."),
         console::option("capture", "FILE",
                         "record every request and reply into FILE, a pcap file that Wireshark "
                         "and tshark decode as Modbus RTU; \"-\" writes it to standard output "
                         "(wirelark --capture - | wireshark -k -i -). Each exchange is saved as "
                         "it ends. A file that cannot be created ends the program with status 2 "
                         "before the window opens.")},
        QStringLiteral("--lang=en"),
        QStringLiteral(R"(Qt's own options work as well, among them -platform NAME, -style NAME and
-display DISPLAY. In a Wayland session that has XWayland too (WAYLAND_DISPLAY
and DISPLAY both set) the window runs as an X11 client, so that it opens in the
middle of the screen with its title bar; -platform wayland or
QT_QPA_PLATFORM=wayland makes it a Wayland client.

Exit status: 0, or 2 for a wrong command line.
)")};
    for (const QString &name : QString::fromLatin1(kQtValueOptions).split(QLatin1Char(' ')))
        program.rows.append({{name}, QStringLiteral("value"), {}, true});
    for (const QString &name : QString::fromLatin1(kQtFlagOptions).split(QLatin1Char(' ')))
        program.rows.append({{name}, {}, {}, true});
    return program;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments, const QProcessEnvironment &environment)
{
    CommandLine result;
    console::parseCommandLine(program(), arguments, result, [&](const QCommandLineParser &parser) {
        if (parser.isSet("lang")) {
            const QString value = parser.value("lang");
            const std::optional<Language> language = console::languageNamed(value);
            if (!language)
                return QStringLiteral("unknown language '%1' for --lang: use %2")
                    .arg(value, QLatin1String(console::kLanguageChoices));
            result.language = *language;
        }
        if (parser.isSet("capture")) {
            if (parser.value("capture").isEmpty())
                return QStringLiteral("--capture needs a file name");
            result.capturePath = parser.value("capture");
        }
        return QString();
    });
    if (result.action == CommandLine::Action::Run)
        result.platform = preferredPlatform(arguments, environment);
    return result;
}
