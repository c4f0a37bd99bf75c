// The bus monitor's splitter on a synthetic bus: requests and replies of functions 01, 02, 03,
// 04, 05, 06, 0F and 10, exception replies, every tenth reply with a wrong CRC and noise bytes
// between frames, at 9600 and 115200 baud, read byte by byte or in a USB adapter's 16 ms
// batches. Frames right out of frames sent, beside splitting by the gaps between reads alone on
// the same reads; then the splitting speed on the recorded bytes.
#include "bench/benchreport.h"
#include "bench/benchstats.h"
#include "frame/crc16.h"
#include "serial/linetiming.h"
#include "sniff/framesplitter.h"

#include <QByteArray>
#include <cstdio>
#include <initializer_list>
#include <random>
#include <vector>

namespace
{

using sniff::SplitItem;
using sniff::Time;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr int kExchanges = 3000;
constexpr int kSpeedRepeats = 9;
constexpr double kSpeedGoal = 1000.0 * 11520.0; // bytes per second
// A USB adapter sends a packet when its buffer holds this many bytes, or when its timer ends.
constexpr int kUsbPacket = 62;

struct SentFrame {
    QByteArray bytes;
    bool request = true;
};

struct Read {
    QByteArray bytes;
    Time time{0};
};

// One byte on the wire: its value and when its stop bit ended.
struct WireByte {
    char value;
    Time end;
};

QByteArray withCrc(QByteArray body, bool wrong = false)
{
    const auto *data = reinterpret_cast<const std::uint8_t *>(body.constData());
    const std::uint16_t crc =
        frame::crc16Modbus(std::span<const std::uint8_t>(data, std::size_t(body.size()))) ^
        (wrong ? 0x5A5A : 0);
    body.append(char(crc & 0xFF));
    body.append(char(crc >> 8));
    return body;
}

QByteArray bytesOf(std::initializer_list<char> values)
{
    return QByteArray(values.begin(), qsizetype(values.size()));
}

QByteArray word(int value)
{
    return bytesOf({char(value >> 8), char(value & 0xFF)});
}

// A request of function and the reply a slave gives to it.
std::pair<QByteArray, QByteArray> exchangeOf(quint8 function, std::mt19937 &random)
{
    const char address = char(1 + random() % 247);
    const int start = int(random() % 1000);
    QByteArray request = bytesOf({address, char(function)});
    QByteArray reply = bytesOf({address, char(function)});
    switch (function) {
    case 0x01:
    case 0x02: {
        const int bits = int(1 + random() % 200);
        request += word(start) + word(bits);
        reply += char((bits + 7) / 8);
        for (int i = 0; i < (bits + 7) / 8; ++i)
            reply += char(random());
        break;
    }
    case 0x03:
    case 0x04: {
        const int registers = int(1 + random() % 60);
        request += word(start) + word(registers);
        reply += char(2 * registers);
        for (int i = 0; i < registers; ++i)
            reply += word(int(random() % 65536));
        break;
    }
    case 0x05:
    case 0x06:
        request += word(start) + (function == 0x05 ? word(random() % 2 ? 0xFF00 : 0)
                                                   : word(int(random() % 65536)));
        reply = request;
        break;
    default: { // 0F, 10
        const int count = int(1 + random() % 40);
        const int bytes = function == 0x0F ? (count + 7) / 8 : 2 * count;
        request += word(start) + word(count) + char(bytes);
        for (int i = 0; i < bytes; ++i)
            request += char(random());
        reply += word(start) + word(count);
        break;
    }
    }
    return {request, reply};
}

// The bus: what the master and the slaves sent, and every byte with its time on the wire.
struct Bus {
    std::vector<SentFrame> frames;
    std::vector<WireByte> wire;
    qint64 noiseBytes = 0;
};

Bus makeBus(const serial::CommSettings &settings)
{
    static constexpr quint8 kFunctions[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x0F, 0x10};
    std::mt19937 random(20240);
    const nanoseconds character = serial::charactersTime(settings, 1);
    Bus bus;
    Time now = milliseconds(1);
    const auto send = [&](const QByteArray &bytes) {
        for (const char value : bytes) {
            now += character;
            bus.wire.push_back({value, now});
        }
    };
    const auto noise = [&] {
        const int count = int(1 + random() % 3);
        QByteArray bytes;
        for (int i = 0; i < count; ++i)
            bytes += char(random());
        send(bytes);
        bus.noiseBytes += count;
    };
    for (int i = 0; i < kExchanges; ++i) {
        const quint8 function = kFunctions[random() % 8];
        auto [request, reply] = exchangeOf(function, random);
        if (i % 7 == 3)
            reply = bytesOf({request[0], char(function | 0x80), char(1 + random() % 4)});
        // Noise at every fifth request: right before it, or alone in the silence before it.
        if (i % 5 == 2) {
            noise();
            if (random() % 2)
                now += milliseconds(10);
        }
        request = withCrc(request);
        reply = withCrc(reply, i % 10 == 9);
        send(request);
        bus.frames.push_back({request, true});
        now += microseconds(3000 + random() % 7000) + serial::frameGap(settings);
        send(reply);
        bus.frames.push_back({reply, false});
        now += milliseconds(20 + random() % 30);
    }
    return bus;
}

// The reads of a monitor: every byte alone as it ends, or the batches of an adapter whose
// timer runs out every `batch`.
std::vector<Read> readsOf(const Bus &bus, nanoseconds batch)
{
    std::vector<Read> reads;
    if (batch == nanoseconds(0)) {
        for (const WireByte &byte : bus.wire)
            reads.push_back({QByteArray(1, byte.value), byte.end});
        return reads;
    }
    Read pending;
    Time tick = batch;
    for (const WireByte &byte : bus.wire) {
        while (byte.end > tick) {
            if (!pending.bytes.isEmpty()) {
                pending.time = tick;
                reads.push_back(pending);
                pending = {};
            }
            tick += batch;
        }
        pending.bytes += byte.value;
        if (pending.bytes.size() == kUsbPacket) {
            pending.time = byte.end;
            reads.push_back(pending);
            pending = {};
        }
    }
    if (!pending.bytes.isEmpty()) {
        pending.time = tick;
        reads.push_back(pending);
    }
    return reads;
}

// How many of the frames sent come out whole, in order, with the right direction (any
// direction for the gap split, which tells none).
qint64 framesRight(const std::vector<SentFrame> &sent, const std::vector<SentFrame> &found,
                   bool checkDirection)
{
    qint64 right = 0;
    std::size_t next = 0;
    for (const SentFrame &frame : found) {
        for (std::size_t k = next; k < sent.size() && k < next + 8; ++k) {
            if (sent[k].bytes == frame.bytes &&
                (!checkDirection || sent[k].request == frame.request)) {
                ++right;
                next = k + 1;
                break;
            }
        }
    }
    return right;
}

std::vector<SentFrame> splitByLength(const std::vector<Read> &reads, sniff::SplitTiming timing)
{
    sniff::FrameSplitter splitter(timing);
    std::vector<SentFrame> found;
    const auto take = [&found](const std::vector<SplitItem> &items) {
        for (const SplitItem &item : items)
            if (item.isFrame())
                found.push_back({item.bytes, item.kind == SplitItem::Kind::Request});
    };
    for (const Read &read : reads) {
        if (const std::optional<Time> due = splitter.decisionDue(); due && *due <= read.time)
            take(splitter.idle(*due));
        take(splitter.feed(read.bytes, read.time));
    }
    take(splitter.finish());
    return found;
}

// What a sniffer that knows only the gaps does: a frame ends where no byte came for 3.5
// characters between two reads.
std::vector<SentFrame> splitByGaps(const std::vector<Read> &reads, nanoseconds character,
                                   nanoseconds gap)
{
    std::vector<SentFrame> found;
    QByteArray current;
    Time last{0};
    for (const Read &read : reads) {
        if (!current.isEmpty() && read.time - last >= gap + character) {
            found.push_back({current, true});
            current.clear();
        }
        current += read.bytes;
        last = read.time;
    }
    if (!current.isEmpty())
        found.push_back({current, true});
    return found;
}

std::string percent(qint64 part, qint64 whole)
{
    return bench::fixed(100.0 * double(part) / double(whole), 2, "%");
}

} // namespace

int main()
{
    bool allMet = true;
    QByteArray recorded;
    for (const qint32 baud : {9600, 115200}) {
        serial::CommSettings settings;
        settings.baudRate = baud;
        const Bus bus = makeBus(settings);
        if (baud == 115200)
            for (const WireByte &byte : bus.wire)
                recorded += byte.value;
        for (const int batchMs : {0, 16}) {
            const std::vector<Read> reads = readsOf(bus, milliseconds(batchMs));
            sniff::SplitTiming timing;
            timing.known = true;
            timing.character = serial::charactersTime(settings, 1);
            timing.frameGap = serial::frameGap(settings);
            timing.latency = milliseconds(batchMs) + milliseconds(1);
            const qint64 sent = qint64(bus.frames.size());
            const qint64 ours = framesRight(bus.frames, splitByLength(reads, timing), true);
            const qint64 gaps = framesRight(
                bus.frames, splitByGaps(reads, timing.character, timing.frameGap), false);
            const bool met = ours == sent;
            allMet = allMet && met;
            bench::printRow({"sniff: frames right, " + std::to_string(baud) + " baud, " +
                                 (batchMs == 0 ? std::string("byte by byte")
                                               : std::to_string(batchMs) + " ms USB batches"),
                             percent(ours, sent), percent(gaps, sent),
                             bench::ratioText(double(ours), double(gaps)), "100 %",
                             bench::verdictOf(met)});
        }
        bench::printNote("sniff: " + std::to_string(bus.frames.size()) + " frames and " +
                         std::to_string(bus.noiseBytes) + " noise bytes at " +
                         std::to_string(baud) + " baud; reference: splitting by gaps alone");
    }

    // Speed: the recorded bytes in reads of 4 KiB, without times, as --input reads a file.
    std::vector<double> rates;
    qint64 frames = 0;
    for (int repeat = 0; repeat < kSpeedRepeats; ++repeat) {
        sniff::FrameSplitter splitter;
        frames = 0;
        const double start = bench::monotonicSeconds();
        for (qsizetype at = 0; at < recorded.size(); at += 4096) {
            const qsizetype size = std::min<qsizetype>(4096, recorded.size() - at);
            frames +=
                qint64(splitter.feed(QByteArrayView(recorded).sliced(at, size), Time(0)).size());
        }
        frames += qint64(splitter.finish().size());
        rates.push_back(double(recorded.size()) / (bench::monotonicSeconds() - start));
    }
    const double rate = bench::median(rates);
    const bool fast = rate >= kSpeedGoal;
    allMet = allMet && fast;
    bench::printRow({"sniff: splitting speed, recorded 115200 baud stream",
                     bench::fixed(rate / 1e6, 1, "MB/s"), "-", "-",
                     ">= " + bench::fixed(kSpeedGoal / 1e6, 2, "MB/s"), bench::verdictOf(fast)});
    std::fprintf(stderr, "%lld bytes, %lld items per pass\n", (long long)recorded.size(),
                 (long long)frames);
    return allMet ? 0 : 1;
}
