#pragma once

#include "console/uniquefd.h"
#include "slaveoptions.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <modbus.h>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace simulator
{

inline constexpr int kRegisterCount = 100;

// What became of one request frame.
struct FrameResult {
    std::vector<std::uint8_t> reply; // the bytes to send; empty when nothing is to be sent
    std::string note;                // why nothing is to be sent; empty with a reply
};

// The Modbus RTU slave devices on one line, each with its own registers and counters.
// libmodbus parses every request (frame length, CRC, address) and builds every reply; this
// class only decides which function codes are served, which slave a frame is for, and keeps
// the live registers current.
//
// libmodbus reads and writes a file descriptor, so the device hands it the received bytes
// through one end of a local socket pair and takes its replies from the same end. That way
// the caller sees every byte, and decides when the reply goes out.
class SlaveDevice
{
public:
    // addresses: 1 to 247, at least one. With exception set, every request for one of them is
    // answered with that exception code (any of 1 to 255) and not carried out. Throws
    // std::runtime_error when libmodbus or the system refuses.
    explicit SlaveDevice(const std::vector<int> &addresses,
                         std::optional<std::uint8_t> exception = std::nullopt);
    ~SlaveDevice();

    SlaveDevice(const SlaveDevice &) = delete;
    SlaveDevice &operator=(const SlaveDevice &) = delete;

    // Handles the bytes received in one burst, which may hold several frames back to back;
    // one result per frame, in order. Bytes after a frame that cannot be parsed are dropped.
    std::vector<FrameResult> handle(std::span<const std::uint8_t> burst);

private:
    void newContext();
    int nextFrameAddress() const;
    void serve(int address, std::span<const std::uint8_t> request);
    void updateLiveRegisters(int address);
    std::vector<std::uint8_t> takeReply();
    void discardPending();

    std::vector<int> m_addresses;
    std::optional<std::uint8_t> m_exception;
    modbus_t *m_context = nullptr;
    // Indexed by address: the slave's registers (null for an address not on the line), and
    // the requests it has taken, broadcasts included.
    std::array<modbus_mapping_t *, kMaxSlaveAddress + 1> m_registers{};
    std::array<std::uint64_t, kMaxSlaveAddress + 1> m_served{};
    console::UniqueFd m_feed; // our end: requests in, replies out
    console::UniqueFd m_wire; // libmodbus's end
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

} // namespace simulator
