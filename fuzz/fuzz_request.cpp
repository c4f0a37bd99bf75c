// The request frame from any four field texts: widths 2, 2, 4, 4, bytes 0 to 5 from the
// two-character pieces, the CRC over them, and the CRC text in wire order.
#include "frame/request.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString alphabet = QStringLiteral("0123456789abcdefABCDEFxyz \U0001F600\u202E");
    frame::RequestFields fields;
    for (QString *field :
         {&fields.address, &fields.function, &fields.startRegister, &fields.registerCount})
        *field =
            data.ConsumeBool() ? fuzz::takeText(data, 8) : fuzz::takeTextFrom(data, 8, alphabet);

    const frame::RequestFields normal = frame::normalizedFields(fields);
    FUZZ_CHECK(normal.address.size() == 2 && normal.function.size() == 2);
    FUZZ_CHECK(normal.startRegister.size() == 4 && normal.registerCount.size() == 4);
    FUZZ_CHECK(frame::normalizedFields(normal) == normal);

    const frame::RequestFrame frameBytes = frame::buildRequest(fields);
    const QString pieces =
        normal.address + normal.function + normal.startRegister + normal.registerCount;
    for (int i = 0; i < 6; ++i) {
        int value = 0;
        for (int j = 0; j < 2; ++j) {
            const int d = fuzz::digitValue(pieces[2 * i + j].unicode());
            value = value * 16 + (d > 0 ? d : 0);
        }
        FUZZ_CHECK(frameBytes[i] == value);
    }
    const std::uint16_t crc = fuzz::crc16(frameBytes.data(), 6);
    FUZZ_CHECK(frameBytes[6] == (crc & 0xFF) && frameBytes[7] == (crc >> 8));
    const QString shown = frame::crcText(frameBytes);
    FUZZ_CHECK(shown == QStringLiteral("%1%2")
                            .arg(frameBytes[6], 2, 16, QLatin1Char('0'))
                            .arg(frameBytes[7], 2, 16, QLatin1Char('0'))
                            .toUpper());
    return 0;
}
