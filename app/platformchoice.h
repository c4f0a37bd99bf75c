#pragma once

#include <QString>
#include <QStringList>

class QProcessEnvironment;

// The platform plugin to ask Qt for, decided before QApplication exists.
// In a Wayland session Qt runs as a Wayland client when its Wayland plugin is installed; such a
// client cannot place its own window, so the window would not start centred, and some desktops
// draw it no title bar. Where XWayland serves the same session (DISPLAY is set too), the X11
// plugin keeps the designed placement and frame. A platform the user chose, with -platform on
// the command line or QT_QPA_PLATFORM in the environment, is left alone.
//   arguments: the command line, the program name first.
// Returns "xcb" to put into QT_QPA_PLATFORM, or an empty string to leave Qt's own choice.
QString preferredPlatform(const QStringList &arguments, const QProcessEnvironment &environment);
