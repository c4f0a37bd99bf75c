#include "transaction/logline.h"

namespace transaction
{

QString logLine(const QByteArray &bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    // Three characters a byte, less the separator before the first, and CR LF.
    QString line(bytes.isEmpty() ? 2 : bytes.size() * 3 + 1, Qt::Uninitialized);
    QChar *out = line.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i != 0)
            *out++ = QLatin1Char(' ');
        const auto b = static_cast<unsigned char>(bytes.at(i));
        *out++ = QLatin1Char(kDigits[b >> 4]);
        *out++ = QLatin1Char(kDigits[b & 0x0F]);
    }
    *out++ = QLatin1Char('\r');
    *out = QLatin1Char('\n');
    return line;
}

} // namespace transaction
