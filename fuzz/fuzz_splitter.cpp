// The bus monitor's splitter on any bytes cut into any reads, with and without times: every byte
// comes out once and in order, items count up from 0, frames are 4 to 256 bytes with the CRC
// they claim, pairs point back to a request of the same address, times never go back, and
// without times the reads do not change the result.
#include "frame/rtuframe.h"
#include "fuzzsupport.h"
#include "sniff/framesplitter.h"

#include <map>
#include <vector>

using sniff::SplitItem;
using sniff::Time;

namespace
{

void checkItems(const std::vector<SplitItem> &items, const QByteArray &stream)
{
    QByteArray joined;
    std::map<qint64, quint8> requests;
    Time last{0};
    for (std::size_t i = 0; i < items.size(); ++i) {
        const SplitItem &item = items[i];
        FUZZ_CHECK(item.index == qint64(i) && !item.bytes.isEmpty());
        FUZZ_CHECK(item.firstRead <= item.lastRead && item.lastRead >= last);
        last = item.lastRead;
        joined += item.bytes;
        if (!item.isFrame())
            continue;
        FUZZ_CHECK(item.bytes.size() >= frame::kMinRtuFrameLength &&
                   item.bytes.size() <= frame::kMaxRtuFrameLength);
        FUZZ_CHECK(item.crcGood == frame::crcMatches(item.bytes));
        const quint8 address = quint8(item.bytes[0]);
        if (item.request)
            FUZZ_CHECK(requests.contains(*item.request) && requests[*item.request] == address);
        if (item.unanswered)
            FUZZ_CHECK(requests.contains(*item.unanswered));
        if (item.kind == SplitItem::Kind::Request)
            requests[item.index] = address;
        else
            FUZZ_CHECK(!item.unanswered);
    }
    FUZZ_CHECK(joined == stream);
}

QByteArray signature(const std::vector<SplitItem> &items)
{
    QByteArray text;
    for (const SplitItem &item : items)
        text += QByteArray::number(int(item.kind)) + (item.crcGood ? "+" : "-") +
                QByteArray::number(item.request.value_or(-1)) +
                QByteArray::number(item.unanswered.value_or(-1)) + item.bytes.toHex() + ' ';
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const bool timed = provider.ConsumeBool();
    const auto latency = std::chrono::microseconds(provider.ConsumeIntegralInRange(0, 20000));
    std::vector<std::pair<QByteArray, Time>> reads;
    QByteArray stream;
    Time now{0};
    while (provider.remaining_bytes() > 0) {
        now += std::chrono::microseconds(provider.ConsumeIntegralInRange(0, 30000));
        const std::string bytes =
            provider.ConsumeBytesAsString(provider.ConsumeIntegralInRange<std::size_t>(1, 300));
        reads.emplace_back(QByteArray(bytes.data(), qsizetype(bytes.size())), now);
        stream += reads.back().first;
    }

    sniff::SplitTiming timing;
    if (timed)
        timing = {true, std::chrono::microseconds(1042), std::chrono::microseconds(3646), latency};
    sniff::FrameSplitter splitter(timing);
    std::vector<SplitItem> items;
    const auto take = [&items](std::vector<SplitItem> more) {
        items.insert(items.end(), more.begin(), more.end());
    };
    for (const auto &[bytes, time] : reads) {
        if (const std::optional<Time> due = splitter.decisionDue(); due && *due <= time)
            take(splitter.idle(*due));
        take(splitter.feed(bytes, time));
    }
    take(splitter.finish());
    FUZZ_CHECK(!splitter.decisionDue());
    checkItems(items, stream);

    if (!timed) {
        sniff::FrameSplitter whole;
        std::vector<SplitItem> once = whole.feed(stream, Time(0));
        const std::vector<SplitItem> rest = whole.finish();
        once.insert(once.end(), rest.begin(), rest.end());
        FUZZ_CHECK(signature(once) == signature(items));
    }
    return 0;
}
