#include "app/commandline.h"
#include "app/platformchoice.h"

#include <QProcessEnvironment>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void platform_data();
    void platform();
};

namespace
{

// An environment of "NAME=value" entries and nothing else.
QProcessEnvironment environmentOf(const QStringList &entries)
{
    QProcessEnvironment environment;
    for (const QString &entry : entries)
        environment.insert(entry.section(QLatin1Char('='), 0, 0),
                           entry.section(QLatin1Char('='), 1));
    return environment;
}

// One line for what the command line asks: the first line of the text for help, version and
// failure, else the language with the platform and the capture file when there are any.
QString summary(const CommandLine &commandLine)
{
    if (commandLine.action != CommandLine::Action::Run)
        return commandLine.text.section(QLatin1Char('\n'), 0, 0);
    QString line =
        commandLine.language == Language::English ? QStringLiteral("en") : QStringLiteral("zh_TW");
    if (!commandLine.platform.isEmpty())
        line += QStringLiteral(" platform=") + commandLine.platform;
    if (commandLine.capturePath)
        line += QStringLiteral(" capture=") + *commandLine.capturePath;
    return line;
}

} // namespace

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    // Parsed in a Wayland session with XWayland, where the program prefers X11.
    const auto row = [](const char *name, const QStringList &arguments, const char *expected) {
        QTest::newRow(name) << QStringList{QStringLiteral("wirelark")} + arguments
                            << QString::fromUtf8(expected);
    };
    row("no options", {}, "zh_TW platform=xcb");
    row("English", {"--lang", "en"}, "en platform=xcb");
    row("English after =", {"--lang=en"}, "en platform=xcb");
    row("one dash", {"-lang", "en"}, "en platform=xcb");
    row("zh_TW", {"--lang", "zh_TW"}, "zh_TW platform=xcb");
    row("zh after en", {"--lang", "en", "--lang", "zh"}, "zh_TW platform=xcb");
    row("a locale is no language", {"--lang", "en_US"},
        "wirelark: unknown language 'en_US' for --lang: use en, or zh_TW (also zh)");
    row("no language", {"--lang"}, "wirelark: Missing value after '--lang'.");
    row("unknown option", {"--langs", "en"}, "wirelark: Unknown option 'langs'.");
    row("stray argument", {"en"}, "wirelark: unexpected argument 'en'");
    row("help", {"--help"}, "Usage: wirelark [options]");
    row("-h", {"-h", "--lang", "fr"}, "Usage: wirelark [options]");
    row("help after a platform", {"-platform", "offscreen", "--help"}, "Usage: wirelark [options]");
    row("version", {"-v"}, "wirelark 0.1.0");
    row("Qt's options left to Qt", {"-platform", "offscreen", "-style=fusion", "-display", ":1"},
        "zh_TW");
    row("Qt's options among ours", {"-reverse", "--lang", "en", "--platform", "xcb", "-sync"},
        "en");
    row("capture", {"--capture", "/tmp/a b.pcap"}, "zh_TW platform=xcb capture=/tmp/a b.pcap");
    row("capture without a file", {"--capture="}, "wirelark: --capture needs a file name");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    const QProcessEnvironment environment =
        environmentOf({QStringLiteral("WAYLAND_DISPLAY=wayland-0"), QStringLiteral("DISPLAY=:0")});
    const CommandLine commandLine = parseCommandLine(arguments, environment);
    QCOMPARE(summary(commandLine), expected);
    if (commandLine.action == CommandLine::Action::Fail)
        QVERIFY(commandLine.text.endsWith(
            QStringLiteral("\nTry 'wirelark --help' for the options.\n")));
}

void TestCommandLine::platform_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *name, const QStringList &arguments,
                        const QStringList &environment, const char *expected) {
        QTest::newRow(name) << arguments << environment << QString::fromLatin1(expected);
    };
    const QStringList wayland = {"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"};
    row("X11 session", {}, {"DISPLAY=:0"}, "");
    row("Wayland with XWayland", {}, wayland, "xcb");
    row("Wayland alone", {}, {"WAYLAND_DISPLAY=wayland-0"}, "");
    row("Wayland session type", {}, {"XDG_SESSION_TYPE=wayland", "DISPLAY=:0"}, "xcb");
    row("empty WAYLAND_DISPLAY", {}, {"WAYLAND_DISPLAY=", "DISPLAY=:0"}, "");
    row("empty DISPLAY", {}, {"WAYLAND_DISPLAY=wayland-0", "DISPLAY="}, "");
    row("QT_QPA_PLATFORM chosen", {}, wayland + QStringList{"QT_QPA_PLATFORM=wayland"}, "");
    row("empty QT_QPA_PLATFORM", {}, wayland + QStringList{"QT_QPA_PLATFORM="}, "xcb");
    row("-platform", {"-platform", "wayland"}, wayland, "");
    row("--platform", {"--platform", "wayland"}, wayland, "");
    row("-platform=", {"-platform=wayland"}, wayland, "");
    row("other options", {"--lang", "en", "-platformtheme", "gtk3"}, wayland, "xcb");
}

void TestCommandLine::platform()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QString, expected);
    QCOMPARE(preferredPlatform(QStringList{QStringLiteral("wirelark")} + arguments,
                               environmentOf(environment)),
             expected);
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
