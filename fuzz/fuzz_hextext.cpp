// Hex text conversions: widths, upper case, no half surrogate pairs, HEX_to_DEC against a model
// in 128-bit arithmetic, and the round trip of a byte through its two-digit text.
#include "frame/hextext.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const auto byte = data.ConsumeIntegral<std::uint8_t>();
    const auto width = data.ConsumeIntegralInRange<int>(-3, 8);
    const QString text =
        data.ConsumeBool()
            ? fuzz::takeText(data, 64)
            : fuzz::takeTextFrom(data, 64,
                                 QStringLiteral("0123456789abcdefABCDEFgG \u00df\U0001F600"));

    const QString cut = frame::Length_str(text, qint16(width));
    if (width < 0) {
        FUZZ_CHECK(cut.isEmpty());
    } else {
        const QString joined = QStringLiteral("0000") + text;
        if (width <= 4)
            FUZZ_CHECK(cut.size() == width);
        FUZZ_CHECK(cut.size() == std::min<qsizetype>(width, joined.size()));
        FUZZ_CHECK(!fuzz::hasLoneSurrogate(cut));
        const QString source = joined.right(width);
        for (qsizetype i = 0; i < cut.size(); ++i) {
            if (cut[i] == QChar::ReplacementCharacter && source[i].isSurrogate())
                continue;
            FUZZ_CHECK(cut[i] == source[i].toUpper());
        }
        // Normal form is stable.
        if (width <= 4)
            FUZZ_CHECK(frame::Length_str(cut, qint16(width)) == cut);
    }

    // The model: each digit at position p from the right weighs 16^p; any other character
    // weighs nothing but keeps its place.
    __int128 model = 0;
    bool overflow = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype position = text.size() - 1 - i;
        const int d = fuzz::digitValue(text[i].toUpper().unicode());
        if (d <= 0)
            continue;
        if (position >= 8) {
            overflow = true;
            break;
        }
        model += __int128(d) << (4 * position);
    }
    overflow = overflow || model > 0x7FFFFFFF;
    const std::optional<qint32> value = frame::HEX_to_DEC(text);
    FUZZ_CHECK(value.has_value() == !overflow);
    if (value)
        FUZZ_CHECK(*value >= 0 && __int128(*value) == model);

    const QString shown = frame::byteText(byte);
    FUZZ_CHECK(shown.size() == 2);
    FUZZ_CHECK(fuzz::digitValue(shown[0].unicode()) >= 0 &&
               fuzz::digitValue(shown[1].unicode()) >= 0);
    FUZZ_CHECK(frame::HEX_to_DEC(shown) == qint32(byte));
    const QString bare = frame::DEC_to_HEX(byte);
    FUZZ_CHECK(bare.size() <= 2 && (byte == 0) == bare.isEmpty());
    FUZZ_CHECK(bare.isEmpty() || bare[0] != QLatin1Char('0'));
    FUZZ_CHECK(frame::HEX_to_DEC(bare) == qint32(byte));
    FUZZ_CHECK(frame::Length_str(bare, 2) == shown);
    return 0;
}
