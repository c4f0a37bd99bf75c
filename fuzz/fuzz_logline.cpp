// The log line of a reply and the register read-outs: exact length, only upper-case digits and
// single spaces, the bytes back from the text, read-outs from the right bytes.
#include "fuzzsupport.h"
#include "transaction/logline.h"
#include "transaction/readout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString countText =
        fuzz::takeTextFrom(data, 6, QStringLiteral("0123456789ABCDEFabcdefG "));
    const std::vector<std::uint8_t> rest = data.ConsumeRemainingBytes<std::uint8_t>();
    const QByteArray reply(reinterpret_cast<const char *>(rest.data()), qsizetype(rest.size()));

    const QString line = transaction::logLine(reply);
    const qsizetype n = reply.size();
    FUZZ_CHECK(line.size() == (n == 0 ? 2 : 3 * n - 1 + 2));
    FUZZ_CHECK(line.endsWith(QLatin1String("\r\n")));
    for (qsizetype i = 0; i < n; ++i) {
        const std::uint8_t b = std::uint8_t(reply[i]);
        const int high = fuzz::digitValue(line[3 * i].unicode());
        const int low = fuzz::digitValue(line[3 * i + 1].unicode());
        FUZZ_CHECK(high >= 0 && low >= 0 && high * 16 + low == b);
        FUZZ_CHECK(line[3 * i + 2] == (i + 1 < n ? QLatin1Char(' ') : QLatin1Char('\r')));
    }

    // The register count as the model reads it: hex digits by position, others add nothing.
    qint64 count = 0;
    for (const QChar c : countText) {
        count *= 16;
        const int d = fuzz::digitValue(c.toUpper().unicode());
        if (d > 0)
            count += d;
    }
    for (int k = 1; k <= 3; ++k) {
        const QString readout = transaction::registerReadout(reply, countText, k);
        if (count < k || n < 2 * k + 3) {
            FUZZ_CHECK(readout.isEmpty());
            continue;
        }
        const int expected = std::uint8_t(reply[2 * k + 1]) * 256 + std::uint8_t(reply[2 * k + 2]);
        FUZZ_CHECK(readout == QString::number(expected));
    }
    return 0;
}
