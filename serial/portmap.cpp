#include "serial/portmap.h"

#include <QSet>
#include <algorithm>

namespace serial
{

namespace
{

// Compares two paths with every run of digits taken as a number.
bool naturalLess(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Strip leading zeros, then the longer run is the larger number.
            qsizetype si = i;
            qsizetype sj = j;
            while (si + 1 < ei && a[si] == QLatin1Char('0'))
                ++si;
            while (sj + 1 < ej && b[sj] == QLatin1Char('0'))
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int c =
                QStringView(a).sliced(si, ei - si).compare(QStringView(b).sliced(sj, ej - sj));
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

// The value of a decimal number written without sign, blanks or leading zeros; -1 for any
// other text and for values above kMaxPortNumber.
int plainDecimal(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 5 || (digits.size() > 1 && digits.front() == u'0'))
        return -1;
    int value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value <= kMaxPortNumber ? value : -1;
}

// k for "/dev/ttyS<k>", otherwise -1.
int ttySIndex(const QString &path)
{
    static const QLatin1String prefix("/dev/ttyS");
    return path.startsWith(prefix) ? plainDecimal(QStringView(path).sliced(prefix.size())) : -1;
}

} // namespace

int portLinkNumber(const QString &fileName)
{
    static const QLatin1String prefix("com");
    if (!fileName.startsWith(prefix))
        return 0;
    return std::max(plainDecimal(QStringView(fileName).sliced(prefix.size())), 0);
}

QList<MappedPort> mapPorts(const QList<PortLink> &links, const QList<SerialDevice> &devices)
{
    auto descriptionOf = [&devices](const QString &path) {
        for (const SerialDevice &device : devices)
            if (device.path == path)
                return device.description;
        return QString();
    };

    QList<MappedPort> linked;
    QSet<int> taken;
    QSet<QString> named;
    for (const PortLink &link : links) {
        if (link.target.isEmpty() || link.number < 1 || link.number > kMaxPortNumber ||
            taken.contains(link.number))
            continue;
        linked.append({link.number, link.target, descriptionOf(link.target), true});
        taken.insert(link.number);
        named.insert(link.target);
    }
    std::sort(linked.begin(), linked.end(),
              [](const MappedPort &a, const MappedPort &b) { return a.number < b.number; });

    QList<SerialDevice> remaining;
    QSet<QString> seen;
    for (const SerialDevice &device : devices) {
        if (device.path.isEmpty() || named.contains(device.path) || seen.contains(device.path))
            continue;
        seen.insert(device.path);
        remaining.append(device);
    }
    std::sort(remaining.begin(), remaining.end(), [](const SerialDevice &a, const SerialDevice &b) {
        return naturalLess(a.path, b.path);
    });

    QList<MappedPort> others;
    QList<SerialDevice> unnumbered;
    for (const SerialDevice &device : remaining) {
        const int k = ttySIndex(device.path);
        if (k >= 0 && k + 1 <= kMaxPortNumber && !taken.contains(k + 1)) {
            others.append({k + 1, device.path, device.description, false});
            taken.insert(k + 1);
        } else {
            unnumbered.append(device);
        }
    }
    int next = 1;
    for (const SerialDevice &device : unnumbered) {
        while (taken.contains(next))
            ++next;
        if (next > kMaxPortNumber)
            break;
        others.append({next, device.path, device.description, false});
        taken.insert(next);
    }
    std::sort(others.begin(), others.end(),
              [](const MappedPort &a, const MappedPort &b) { return a.number < b.number; });
    return linked + others;
}

} // namespace serial
