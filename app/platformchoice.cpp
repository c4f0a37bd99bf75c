#include "app/platformchoice.h"

#include <QProcessEnvironment>

namespace
{

// Qt reads -platform NAME, also written --platform NAME, anywhere after the program name.
bool platformOnCommandLine(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        for (const QLatin1String option :
             {QLatin1String("-platform"), QLatin1String("--platform")}) {
            if (argument == option || argument.startsWith(option + QLatin1Char('=')))
                return true;
        }
    }
    return false;
}

// An empty variable counts as unset, as Qt counts it.
bool isSet(const QProcessEnvironment &environment, const QString &name)
{
    return !environment.value(name).isEmpty();
}

} // namespace

QString preferredPlatform(const QStringList &arguments, const QProcessEnvironment &environment)
{
    if (platformOnCommandLine(arguments) || isSet(environment, QStringLiteral("QT_QPA_PLATFORM")))
        return {};
    const bool wayland =
        isSet(environment, QStringLiteral("WAYLAND_DISPLAY")) ||
        environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
    if (wayland && isSet(environment, QStringLiteral("DISPLAY")))
        return QStringLiteral("xcb");
    return {};
}
