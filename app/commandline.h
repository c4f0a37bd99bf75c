#pragma once

#include "app/language.h"
#include "console/programoptions.h"

#include <QString>
#include <QStringList>
#include <optional>

class QProcessEnvironment;

// What the command line of wirelark asks for, read before QApplication exists (the platform
// plugin has to be chosen before, and --help works without a display).
struct CommandLine : console::ParseOutcome {
    Language language = Language::TraditionalChinese;
    // The platform plugin to put into QT_QPA_PLATFORM before QApplication is made; empty to
    // leave Qt's own choice (see preferredPlatform()).
    QString platform;
    // --capture FILE, carried for the caller.
    std::optional<QString> capturePath;
};

// Reads the command line, the program name first. Qt's own options (-platform, -style,
// -display and the others that QGuiApplication and QApplication document) are accepted and
// left to QApplication, which reads them from the same arguments.
CommandLine parseCommandLine(const QStringList &arguments, const QProcessEnvironment &environment);
