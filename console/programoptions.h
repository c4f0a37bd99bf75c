#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace console
{

// The exit status of every program for a wrong command line.
inline constexpr int kUsageExitStatus = 2;

// One row of a program's options table: an option, or a heading that starts a group of options
// in the help.
struct OptionRow {
    // One-letter names first: {"h", "help"}. Empty for a heading.
    QStringList names;
    // The value's name in the help ("PORT"); empty for an option that takes no value.
    QString valueName;
    // One paragraph, wrapped by the help; for a heading, its line.
    QString description;
    // Accepted, but left out of the help (Qt's own options of the window).
    bool hidden = false;
};

// The row of the option names ("h,help": one-letter names first), with a value when valueName is
// not empty, and a description whose %1, %2, ... become values, in order (so that the help states
// each limit and default where it is defined).
template <typename... Values>
OptionRow option(const char *names, const char *valueName, const char *description,
                 const Values &...values)
{
    QString text = QString::fromUtf8(description);
    ((text = text.arg(values)), ...);
    return {QString::fromLatin1(names).split(QLatin1Char(',')), QLatin1String(valueName), text};
}

// A program's command line as its help shows it and its parser reads it.
struct ProgramOptions {
    QString name;     // as installed: "wirelark-poll"
    QString synopsis; // after the name on the usage line: "--port PORT [options]"
    // One paragraph between the usage line and the options, wrapped by the help.
    QString description;
    // -h, --help and -v, --version are added to these, at the end of the first group.
    QList<OptionRow> rows;
    // An option with its value after "=", as the help's example: "--port=5".
    QString valueExample;
    // Text after the options, as written (line ends included).
    QString epilogue;
};

// What reading a command line came to.
struct ParseOutcome {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Action::Run;
    // ShowHelp and ShowVersion: the text for standard output; Fail: the message for standard
    // error, which ends with a hint to --help.
    QString text;
};

// The help of every program: the usage line, the description, "Options:" and the rows in two
// columns (headings between groups), how a value follows its option, the epilogue. The wrapped
// lines are at most 80 characters, save a word longer than its column.
QString helpText(const ProgramOptions &program);

// Reads arguments, the program name first, by the program's table: an option with one dash or
// two, its value as the next argument or after "=". --help and --version come before the
// program's own checks. Then readOptions is handed the parser and returns the message of a usage
// error, or an empty text when the options are right. outcome becomes Fail for an unknown
// option, a value missing or given to an option that takes none, an argument that belongs to no
// option, or readOptions' message.
void parseCommandLine(const ProgramOptions &program, const QStringList &arguments,
                      ParseOutcome &outcome,
                      const std::function<QString(const QCommandLineParser &)> &readOptions);

// The message for an option given more than once (the last value would win unnoticed), or empty.
QString optionGivenTwice(const QCommandLineParser &parser);

// Writes the text of outcome to standard output (help, version) or standard error (a wrong
// command line) and returns the exit status: 0, or kUsageExitStatus (Run: nothing, 0).
int finish(const ParseOutcome &outcome);

} // namespace console
