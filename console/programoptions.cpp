#include "console/programoptions.h"

#include <cstdio>
#include <utility>

namespace console
{

namespace
{

constexpr qsizetype kHelpWidth = 80;
// The description column starts after the longest option, but no further than this.
constexpr qsizetype kMaxNameColumn = 24;

// The rows with -h, --help and -v, --version at the end of the first group.
QList<OptionRow> rowsWithStandardOptions(QList<OptionRow> rows)
{
    qsizetype at = 0;
    while (at < rows.size() && !rows[at].names.isEmpty())
        ++at;
    rows.insert(at, option("v,version", "", "show the version and exit."));
    rows.insert(at, option("h,help", "", "show this text and exit."));
    return rows;
}

// "  -h, --help" or "  --port PORT".
QString nameColumn(const OptionRow &row)
{
    QStringList names;
    for (const QString &name : row.names)
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString text = QStringLiteral("  ") + names.join(QStringLiteral(", "));
    if (!row.valueName.isEmpty())
        text += QLatin1Char(' ') + row.valueName;
    return text;
}

// text's words in lines of at most kHelpWidth characters, the first line after lead, the others
// indented to indent; a lead as wide as the indent stands on a line of its own.
QString wrapped(const QString &text, QString line, qsizetype indent)
{
    QString out;
    if (!line.isEmpty() && line.size() >= indent)
        out = std::exchange(line, {}) + QLatin1Char('\n');
    line = line.leftJustified(indent);
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (line.size() > indent && line.size() + 1 + word.size() > kHelpWidth)
            out += std::exchange(line, QString(indent, QLatin1Char(' '))) + QLatin1Char('\n');
        line += (line.size() > indent ? QStringLiteral(" ") : QString()) + word;
    }
    return out + line + QLatin1Char('\n');
}

} // namespace

QString helpText(const ProgramOptions &program)
{
    const QList<OptionRow> rows = rowsWithStandardOptions(program.rows);
    qsizetype column = 0;
    for (const OptionRow &row : rows) {
        if (!row.names.isEmpty() && !row.hidden && nameColumn(row).size() + 2 <= kMaxNameColumn)
            column = std::max(column, nameColumn(row).size() + 2);
    }
    QString text = QStringLiteral("Usage: %1 %2\n\n").arg(program.name, program.synopsis) +
                   wrapped(program.description, {}, 0) + QStringLiteral("\nOptions:\n");
    for (const OptionRow &row : rows) {
        if (row.names.isEmpty())
            text += QLatin1Char('\n') + wrapped(row.description, {}, 0);
        else if (!row.hidden)
            text += wrapped(row.description, nameColumn(row), column);
    }
    text += QStringLiteral("A value follows its option as the next argument or after \"=\" (%1).\n")
                .arg(program.valueExample);
    if (!program.epilogue.isEmpty())
        text += QLatin1Char('\n') + program.epilogue;
    return text;
}

void parseCommandLine(const ProgramOptions &program, const QStringList &arguments,
                      ParseOutcome &outcome,
                      const std::function<QString(const QCommandLineParser &)> &readOptions)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionRow &row : rowsWithStandardOptions(program.rows)) {
        if (!row.names.isEmpty())
            parser.addOption(QCommandLineOption(row.names, {}, row.valueName));
    }
    const auto end = [&outcome](ParseOutcome::Action action, const QString &text) {
        outcome.action = action;
        outcome.text = text;
    };
    const auto fail = [&](const QString &message) {
        end(ParseOutcome::Action::Fail, QStringLiteral("%1: %2\nTry '%1 --help' for the options.\n")
                                            .arg(program.name, message));
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        return end(ParseOutcome::Action::ShowHelp, helpText(program));
    if (parser.isSet(QStringLiteral("version")))
        return end(ParseOutcome::Action::ShowVersion,
                   QStringLiteral("%1 %2\n").arg(program.name, QStringLiteral(WIRELARK_VERSION)));
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'")
                        .arg(parser.positionalArguments().constFirst()));
    if (const QString message = readOptions(parser); !message.isEmpty())
        return fail(message);
    end(ParseOutcome::Action::Run, {});
}

QString optionGivenTwice(const QCommandLineParser &parser)
{
    const QStringList names = parser.optionNames();
    for (const QString &name : names) {
        if (names.count(name) > 1)
            return QStringLiteral("--%1 is given more than once.").arg(name);
    }
    return {};
}

int finish(const ParseOutcome &outcome)
{
    const bool failed = outcome.action == ParseOutcome::Action::Fail;
    std::fputs(outcome.text.toLocal8Bit().constData(), failed ? stderr : stdout);
    return failed ? kUsageExitStatus : 0;
}

} // namespace console
