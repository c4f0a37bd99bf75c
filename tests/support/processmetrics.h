#pragma once

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <ctime>

// Figures of the running process, read from the kernel.
namespace processmetrics
{

// CPU time (user and system) the process has used, in milliseconds.
inline double cpuMilliseconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// Open file descriptors of the process.
inline qsizetype openDescriptors()
{
    // The listing itself holds one descriptor while it reads; it is counted every time alike.
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::System | QDir::NoDotAndDotDot)
        .size();
}

// Resident memory in kilobytes (VmRSS of /proc/<pid>/status); -1 when unreadable.
inline qint64 residentKilobytes(const QString &pid = QStringLiteral("self"))
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression rss(QStringLiteral("^VmRSS:\\s+(\\d+) kB"),
                                        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = rss.match(QString::fromLatin1(status.readAll()));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

// Whether the process runs under AddressSanitizer, whose quarantine holds freed memory back on
// purpose: resident memory says nothing about leaks there (its leak checker does).
constexpr bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace processmetrics
