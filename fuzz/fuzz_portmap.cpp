// The port map from arbitrary links and devices: every number is used once and lies in range,
// linked ports come first and both parts ascend, a link wins its number and its device, a
// device is listed once, /dev/ttyS<k> keeps Com<k+1> when no link holds it, nothing is lost.
#include "fuzzsupport.h"
#include "serial/portmap.h"

#include <QSet>

namespace
{

// Paths that collide often: the same device from a link and from the machine's list.
QString takePath(FuzzedDataProvider &data)
{
    static const QStringList pool = {QString(),
                                     QStringLiteral("/dev/ttyS0"),
                                     QStringLiteral("/dev/ttyS1"),
                                     QStringLiteral("/dev/ttyS15"),
                                     QStringLiteral("/dev/ttyS007"),
                                     QStringLiteral("/dev/ttyS32767"),
                                     QStringLiteral("/dev/ttyUSB0"),
                                     QStringLiteral("/dev/ttyUSB10"),
                                     QStringLiteral("/dev/ttyUSB2"),
                                     QStringLiteral("/dev/ttyACM0"),
                                     QStringLiteral("/dev/pts/3"),
                                     QStringLiteral("/dev/ttyS")};
    const auto at = data.ConsumeIntegralInRange<qsizetype>(0, pool.size());
    if (at < pool.size())
        return pool[at];
    return fuzz::takeTextFrom(data, 14, QStringLiteral("/devttySUB0123456789"));
}

// k of a path "/dev/ttyS<k>" with k a plain decimal number; -1 otherwise.
int ttySIndex(const QString &path)
{
    if (!path.startsWith(QLatin1String("/dev/ttyS")))
        return -1;
    const QString digits = path.mid(9);
    bool ok = false;
    const int k = digits.toInt(&ok);
    return ok && QString::number(k) == digits ? k : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    QList<serial::PortLink> links;
    QList<serial::SerialDevice> devices;
    const int linkCount = data.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < linkCount; ++i) {
        const int number = data.ConsumeBool() ? data.ConsumeIntegralInRange<int>(-2, 20)
                                              : data.ConsumeIntegral<int>();
        links.append({number, takePath(data)});
    }
    const int deviceCount = data.ConsumeIntegralInRange<int>(0, 10);
    for (int i = 0; i < deviceCount; ++i) {
        const QString path = takePath(data);
        devices.append({path, fuzz::takeText(data, 6)});
    }

    const QList<serial::MappedPort> ports = serial::mapPorts(links, devices);

    QSet<int> numbers;
    QSet<QString> paths;
    bool inLinkedPart = true;
    int previous = 0;
    for (const serial::MappedPort &port : ports) {
        FUZZ_CHECK(port.number >= 1 && port.number <= serial::kMaxPortNumber);
        FUZZ_CHECK(!numbers.contains(port.number));
        numbers.insert(port.number);
        FUZZ_CHECK(!port.devicePath.isEmpty());
        if (!port.linked) {
            if (inLinkedPart)
                previous = 0;
            inLinkedPart = false;
            FUZZ_CHECK(!paths.contains(port.devicePath)); // a device is not numbered again
        }
        FUZZ_CHECK(port.linked == inLinkedPart);
        FUZZ_CHECK(port.number > previous);
        previous = port.number;
        paths.insert(port.devicePath);
    }

    // Each valid link: the first one with its number is in the map with its target.
    QSet<int> linkNumbers;
    QSet<QString> linkTargets;
    for (const serial::PortLink &link : links) {
        if (link.target.isEmpty() || link.number < 1 || link.number > serial::kMaxPortNumber ||
            linkNumbers.contains(link.number))
            continue;
        linkNumbers.insert(link.number);
        linkTargets.insert(link.target);
        bool found = false;
        for (const serial::MappedPort &port : ports)
            found = found ||
                    (port.linked && port.number == link.number && port.devicePath == link.target);
        FUZZ_CHECK(found);
    }
    qsizetype linkedCount = 0;
    for (const serial::MappedPort &port : ports)
        linkedCount += port.linked ? 1 : 0;
    FUZZ_CHECK(linkedCount == linkNumbers.size());

    // Each other device is listed once; a free ttyS keeps its own number.
    for (const serial::SerialDevice &device : devices) {
        if (device.path.isEmpty() || linkTargets.contains(device.path))
            continue;
        const serial::MappedPort *mapped = nullptr;
        for (const serial::MappedPort &port : ports)
            if (!port.linked && port.devicePath == device.path)
                mapped = &port;
        FUZZ_CHECK(mapped != nullptr);
        const int k = ttySIndex(device.path);
        if (k >= 0 && k + 1 <= serial::kMaxPortNumber && !linkNumbers.contains(k + 1))
            FUZZ_CHECK(mapped->number == k + 1);
        // The description of the first listing of the device.
        for (const serial::SerialDevice &first : devices) {
            if (first.path == device.path) {
                FUZZ_CHECK(mapped->description == first.description);
                break;
            }
        }
    }
    return 0;
}
