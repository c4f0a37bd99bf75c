// Assembling the eight-byte request from the four field texts, and its CRC alone, per call.
#include "bench/benchreport.h"
#include "bench/benchstats.h"
#include "frame/crc16.h"
#include "frame/request.h"

#include <QString>
#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{

constexpr int kBatches = 9;
constexpr int kCallsPerBatch = 200000;

// Nanoseconds per call of `call(i)`, median of the batches.
template <typename Call> double nanosecondsPerCall(Call call)
{
    std::vector<double> batches;
    for (int b = 0; b < kBatches; ++b) {
        const double start = bench::monotonicSeconds();
        for (int i = 0; i < kCallsPerBatch; ++i)
            call(i);
        batches.push_back((bench::monotonicSeconds() - start) * 1e9 / kCallsPerBatch);
    }
    return bench::median(batches);
}

} // namespace

int main()
{
    // Sixteen different requests as an operator might type them: short, lower case, full width.
    std::vector<frame::RequestFields> fields;
    for (int k = 0; k < 16; ++k) {
        fields.push_back({QString::number(k + 1, 16), QStringLiteral("3"),
                          QString::number(k * 37, 16), QString::number(k % 8 + 1, 16).toUpper()});
    }
    std::uint32_t sink = 0;

    const double build = nanosecondsPerCall([&](int i) {
        const frame::RequestFrame request = frame::buildRequest(fields[std::size_t(i) % 16]);
        sink += request[6] + request[7];
    });
    std::array<std::uint8_t, 6> body{1, 3, 0, 0, 0, 2};
    const double crc = nanosecondsPerCall([&](int i) {
        body[5] = static_cast<std::uint8_t>(i);
        sink += frame::crc16Modbus(body);
    });

    bench::printRow({"request from the four field texts, CRC included, per call",
                     bench::fixed(build, 0, "ns"), "-", "-", "- (for the record)",
                     bench::Verdict::None});
    bench::printRow({"CRC-16 of the six request bytes, per call", bench::fixed(crc, 1, "ns"), "-",
                     "-", "- (for the record)", bench::Verdict::None});
    // Printing the sum keeps the calls from being optimised away.
    std::fprintf(stderr, "request checksum %u\n", unsigned(sink));
    return 0;
}
