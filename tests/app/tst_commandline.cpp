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

// One line for what the command line asks: help, version, the first line of the failure, or
// the language with the platform and capture file when there are any.
QString summary(const CommandLine &commandLine)
{
    switch (commandLine.action) {
    case CommandLine::Action::ShowHelp:
        return QStringLiteral("help");
    case CommandLine::Action::ShowVersion:
        return commandLine.text.trimmed();
    case CommandLine::Action::Fail:
        return commandLine.text.section(QLatin1Char('\n'), 0, 0);
    case CommandLine::Action::Run:
        break;
    }
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
    row("zh", {"--lang", "en", "--lang", "zh"}, "zh_TW platform=xcb");
    row("a locale is no language", {"--lang", "en_US"},
        "wirelark: unknown language 'en_US' for --lang: use en, or zh_TW (also zh)");
    row("no language", {"--lang"}, "wirelark: Missing value after '--lang'.");
    row("unknown option", {"--langs", "en"}, "wirelark: Unknown option 'langs'.");
    row("stray argument", {"en"}, "wirelark: unexpected argument 'en'");
    row("help", {"--help"}, "help");
    row("-h", {"-h", "--lang", "fr"}, "help");
    row("help after a platform", {"-platform", "offscreen", "--help"}, "help");
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
    if (commandLine.action == CommandLine::Action::ShowHelp)
        QVERIFY(commandLine.text.startsWith(QStringLiteral("Usage: wirelark [options]\n")));
}

void TestCommandLine::platform_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("expected");

    const QStringList wayland = {"WAYLAND_DISPLAY=wayland-0", "DISPLAY=:0"};
    QTest::newRow("X11 session") << QStringList{} << QStringList{"DISPLAY=:0"} << "";
    QTest::newRow("Wayland with XWayland") << QStringList{} << wayland << "xcb";
    QTest::newRow("Wayland alone")
        << QStringList{} << QStringList{"WAYLAND_DISPLAY=wayland-0"} << "";
    QTest::newRow("Wayland session type with XWayland")
        << QStringList{} << QStringList{"XDG_SESSION_TYPE=wayland", "DISPLAY=:0"} << "xcb";
    QTest::newRow("empty WAYLAND_DISPLAY")
        << QStringList{} << QStringList{"WAYLAND_DISPLAY=", "DISPLAY=:0"} << "";
    QTest::newRow("empty DISPLAY")
        << QStringList{} << QStringList{"WAYLAND_DISPLAY=wayland-0", "DISPLAY="} << "";
    QTest::newRow("QT_QPA_PLATFORM chosen")
        << QStringList{} << wayland + QStringList{"QT_QPA_PLATFORM=wayland"} << "";
    QTest::newRow("empty QT_QPA_PLATFORM")
        << QStringList{} << wayland + QStringList{"QT_QPA_PLATFORM="} << "xcb";
    QTest::newRow("-platform") << QStringList{"-platform", "wayland"} << wayland << "";
    QTest::newRow("--platform") << QStringList{"--platform", "wayland"} << wayland << "";
    QTest::newRow("-platform=") << QStringList{"-platform=wayland"} << wayland << "";
    QTest::newRow("other options")
        << QStringList{"--lang", "en", "-platformtheme", "gtk3"} << wayland << "xcb";
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
