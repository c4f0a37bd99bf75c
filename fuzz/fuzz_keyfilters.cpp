// Both key filters and the wait field's rules: a key passes unchanged exactly when it is one the
// field takes, otherwise it becomes 0; a left wait field always holds 10 to 10000.
#include "frame/fieldrules.h"
#include "fuzzsupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    for (int i = 0; i < 8 && data.remaining_bytes() >= 2; ++i) {
        const auto key = data.ConsumeIntegral<qint16>();
        const bool digit = key >= '0' && key <= '9';
        const bool hexLetter = (key >= 'a' && key <= 'f') || (key >= 'A' && key <= 'F');
        const bool backspace = key == 8;
        const qint16 hex = frame::hexKeyFilter(key);
        FUZZ_CHECK(hex == ((digit || hexLetter || backspace) ? key : 0));
        const qint16 decimal = frame::decimalKeyFilter(key);
        FUZZ_CHECK(decimal == ((digit || backspace) ? key : 0));
    }

    const QString text =
        data.ConsumeBool()
            ? fuzz::takeText(data, 24)
            : fuzz::takeTextFrom(data, 24, QStringLiteral("0123456789 .-+eE,xinfINFa"));
    const QString left = frame::clampDelayText(text);
    const std::optional<double> value = frame::delayValue(left);
    FUZZ_CHECK(value.has_value());
    FUZZ_CHECK(*value >= 10 && *value <= 10000);
    if (left != text)
        FUZZ_CHECK(left == QLatin1String("10") || left == QLatin1String("10000"));
    FUZZ_CHECK(frame::clampDelayText(left) == left);
    const double wait = frame::delayMilliseconds(text);
    FUZZ_CHECK(std::isfinite(wait));
    const std::optional<double> typed = frame::delayValue(text);
    FUZZ_CHECK(wait == (typed ? *typed : 10.0));
    return 0;
}
