#pragma once

#include "app/language.h"

#include <QString>
#include <QStringList>
#include <optional>

class QProcessEnvironment;

// What the command line of wirelark asks for, read before QApplication exists (the platform
// plugin has to be chosen before, and --help works without a display).
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Action::Run;
    // ShowHelp and ShowVersion: the text for standard output; Fail: the message for standard
    // error, which ends with a hint to --help.
    QString text;
    Language language = Language::TraditionalChinese;
    // The platform plugin to put into QT_QPA_PLATFORM before QApplication is made; empty to
    // leave Qt's own choice (see preferredPlatform()).
    QString platform;
    // --capture FILE, carried for the caller.
    std::optional<QString> capturePath;
};

// The exit status for a wrong command line.
inline constexpr int kUsageExitStatus = 2;

// Reads the command line, the program name first. Qt's own options (-platform, -style,
// -display and the others that QGuiApplication and QApplication document) are accepted and
// left to QApplication, which reads them from the same arguments; options are also accepted
// with two dashes or with "=" before the value (--lang=en).
CommandLine parseCommandLine(const QStringList &arguments, const QProcessEnvironment &environment);
