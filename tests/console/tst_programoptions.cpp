#include "console/addresslist.h"
#include "console/language.h"
#include "console/optionvalues.h"
#include "console/programoptions.h"

#include <QTest>

class TestProgramOptions : public QObject
{
    Q_OBJECT

private slots:
    void values_data();
    void values();
    void commandLine_data();
    void commandLine();
    void helpLayout();
};

namespace
{

// The value of an option read by the rule of kind, as text, or "error: " and the message.
QString readValue(const QString &kind, const QString &text)
{
    QString error;
    QString value;
    if (kind == QLatin1String("port")) {
        const std::optional<int> number = console::portNumber(text, error);
        value = number ? QString::number(*number) : QString();
    } else if (kind == QLatin1String("hex4")) {
        value = console::hexField(QStringLiteral("count"), text, 4, error);
    } else if (kind == QLatin1String("line")) {
        const auto line =
            console::lineSettings(text.section(',', 0, 0), text.section(',', 1), error);
        value = line ? serial::settingsText(*line) : QString();
    } else if (kind == QLatin1String("addresses")) {
        const std::optional<QList<int>> list =
            console::addressList(QStringLiteral("addresses"), text, error);
        QStringList numbers;
        for (int address : list.value_or(QList<int>{}))
            numbers << QString::number(address);
        value = numbers.join(QLatin1Char(' '));
    } else if (kind == QLatin1String("lang")) {
        const std::optional<console::Language> language = console::languageNamed(text);
        value = !language                                 ? QStringLiteral("error: none")
                : *language == console::Language::English ? QStringLiteral("English")
                                                          : QStringLiteral("Chinese");
    } else {
        const std::optional<qint64> number =
            console::number(text.section('x', -1), 1, 255, text.startsWith("0x") ? 16 : 10);
        value = number ? QString::number(*number) : QStringLiteral("error: none");
    }
    return error.isEmpty() ? value : QStringLiteral("error: ") + error;
}

// A program with one option of each kind, a heading and a hidden option.
console::ProgramOptions testProgram()
{
    return {QStringLiteral("prog"),
            QStringLiteral("[options]"),
            QStringLiteral("Does one thing."),
            {{{QStringLiteral("port")}, QStringLiteral("N"), QStringLiteral("the port.")},
             {{QStringLiteral("qt")}, {}, {}, true},
             {{}, {}, QStringLiteral("More:")},
             {{QStringLiteral("echo")},
              {},
              QStringLiteral("send every request back before its reply, as a two-wire adapter "
                             "hears the master's own bytes.")},
             {{QStringLiteral("a-very-long-option-name")},
              QStringLiteral("VALUE"),
              QStringLiteral("long.")}},
            QStringLiteral("--port=5"),
            QStringLiteral("The end.\n")};
}

} // namespace

void TestProgramOptions::values_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *kind, const char *text, const char *expected) {
        QTest::addRow("%s %s", kind, text) << kind << text << expected;
    };
    row("port", "Com5", "5");
    row("port", "com 32767", "32767");
    row("port", "5", "5");
    row("port", "32768", "error: --port \"32768\": the port number must be 1 to 32767.");
    row("port", "0", "error: --port \"0\": the port number must be 1 to 32767.");
    row("port", "tty5", "error: --port \"tty5\" names no port: give Com5, com5 or 5.");
    row("hex4", "a", "000A");
    row("hex4", "fFfF", "FFFF");
    row("hex4", "", "0000");
    row("hex4", "12345",
        "error: --count \"12345\" is too long: at most 4 hexadecimal digits "
        "(0000 to FFFF).");
    row("hex4", "１", "error: --count \"１\": \"１\" is not a hexadecimal digit. Use 0-9 and A-F.");
    row("line", "19200,e,7,2", "19200,E,7,2");
    row("line", "9600,N,9,1",
        "error: The settings \"9600,N,9,1\" are not valid: the data bits "
        "\"9\" are not 5, 6, 7 or 8. Write speed, parity, data bits and stop "
        "bits separated by commas, for example 9600,N,8,1.");
    row("addresses", "3-5,1,4", "3 4 5 1");
    row("addresses", "247", "247");
    const char *notAddresses = "error: --addresses \"%1\": \"%2\" is not an address or a range: "
                               "give addresses 1 to 247 and ranges such as 1-247, separated by "
                               "commas.";
    for (const char *bad : {"0", "248", "5-3", "1-2-3", "1,", "-4"}) {
        const QString text = QString::fromLatin1(bad);
        QTest::addRow("addresses %s", bad)
            << "addresses" << text
            << QString::fromLatin1(notAddresses).arg(text, text.section(',', -1));
    }
    row("lang", "en", "English");
    row("lang", "zh", "Chinese");
    row("lang", "zh_TW", "Chinese");
    row("lang", "en_US", "error: none");
    row("decimal", "255", "255");
    row("decimal", "0", "error: none");
    row("decimal", "+5", "error: none");
    row("decimal", " 5", "error: none");
    row("decimal", "99999999999999999999", "error: none");
    row("decimal", "0xfF", "255");
    row("decimal", "0x100", "error: none");
    row("decimal", "0x-1", "error: none");
}

void TestProgramOptions::values()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(readValue(kind, text), expected);
}

void TestProgramOptions::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QStringList &arguments, const char *expected) {
        QTest::newRow(name) << QStringList{QStringLiteral("prog")} + arguments << expected;
    };
    const char *missing =
        "prog: Missing value after '--port'.\nTry 'prog --help' for the options.\n";
    row("value after a blank", {"--port", "7"}, "run port=7");
    row("value after =", {"--port=7"}, "run port=7");
    row("one dash", {"-port", "7", "-echo", "-qt"}, "run port=7 echo");
    row("value that starts with a dash", {"--port", "-1"}, "run port=-1");
    row("missing value", {"--port"}, missing);
    row("value after a flag", {"--echo=1"},
        "prog: Unexpected value after '--echo'.\nTry 'prog --help' for the options.\n");
    row("stray argument", {"--echo", "7"},
        "prog: unexpected argument '7'\nTry 'prog --help' for the options.\n");
    row("the program's own check", {"--port", "x"},
        "prog: --port takes digits\nTry 'prog --help' for the options.\n");
    row("help before the program's checks", {"--port", "x", "-h"}, "help");
    row("version", {"-v"}, "prog 0.1.0\n");
}

void TestProgramOptions::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    console::ParseOutcome outcome;
    QString seen;
    console::parseCommandLine(testProgram(), arguments, outcome, [&](const QCommandLineParser &p) {
        seen = QStringLiteral("run port=") + p.value(QStringLiteral("port"));
        if (p.isSet(QStringLiteral("echo")))
            seen += QStringLiteral(" echo");
        return p.value(QStringLiteral("port")) == QLatin1String("x")
                   ? QStringLiteral("--port takes digits")
                   : QString();
    });
    using Action = console::ParseOutcome::Action;
    const QString got = outcome.action == Action::Run        ? seen
                        : outcome.action == Action::ShowHelp ? QStringLiteral("help")
                                                             : outcome.text;
    QCOMPARE(got, expected);
}

void TestProgramOptions::helpLayout()
{
    // The column follows the longest option that fits kMaxNameColumn; a longer one has its
    // description on the next line. Help and version close the first group; hidden rows are left
    // out; descriptions wrap at 80 columns.
    QCOMPARE(console::helpText(testProgram()), QStringLiteral(R"(Usage: prog [options]

Does one thing.

Options:
  --port N       the port.
  -h, --help     show this text and exit.
  -v, --version  show the version and exit.

More:
  --echo         send every request back before its reply, as a two-wire adapter
                 hears the master's own bytes.
  --a-very-long-option-name VALUE
                 long.
A value follows its option as the next argument or after "=" (--port=5).

The end.
)"));
}

QTEST_APPLESS_MAIN(TestProgramOptions)
#include "tst_programoptions.moc"
