#include "transaction/logline.h"

namespace transaction
{

QString logLine(const QByteArray &bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString line;
    line.reserve(bytes.size() * 3 + 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i != 0)
            line += QLatin1Char(' ');
        const auto b = static_cast<unsigned char>(bytes.at(i));
        line += QLatin1Char(kDigits[b >> 4]);
        line += QLatin1Char(kDigits[b & 0x0F]);
    }
    line += QLatin1String("\r\n");
    return line;
}

} // namespace transaction
