#include "serial/systemcomm.h"

#include "serial/portopening.h"
#include "serial/qtserialcomm.h"

#include <QFileInfo>
#include <set>

namespace serial
{

namespace
{

QString canonicalOrSelf(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

std::unique_ptr<SerialComm> createSystemComm(PortResolver resolver)
{
    return std::make_unique<QtSerialComm>(std::move(resolver));
}

ChosenPort chooseSystemPort(const QString &portText, const QString &devicePath)
{
    if (devicePath.isEmpty()) {
        ChosenPort chosen{portText, {}};
        if (const std::optional<qint16> number = portNumberOfText(portText)) {
            const std::optional<MappedPort> port = resolveSystemPort(*number);
            chosen.resolver = [number = *number, port](int asked) {
                return asked == number ? port : std::nullopt;
            };
        }
        return chosen;
    }
    const QString wanted = canonicalOrSelf(devicePath);
    std::set<int> taken;
    int number = 0;
    for (const MappedPort &port : scanSystemPorts()) {
        taken.insert(port.number);
        if (number == 0 && canonicalOrSelf(port.devicePath) == wanted)
            number = port.number;
    }
    for (int free = 1; number == 0; ++free)
        if (!taken.contains(free))
            number = free;
    return {QStringLiteral("Com%1").arg(number),
            [number, devicePath](int asked) -> std::optional<MappedPort> {
                if (asked == number)
                    return MappedPort{number, devicePath, {}, false};
                return std::nullopt;
            }};
}

} // namespace serial
