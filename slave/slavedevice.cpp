#include "slavedevice.h"

#include <array>
#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

namespace simulator
{

namespace
{

constexpr std::uint8_t kReadCoils = 0x01;
constexpr std::uint8_t kReadDiscreteInputs = 0x02;
constexpr std::uint8_t kReadHoldingRegisters = 0x03;
constexpr std::uint8_t kReadInputRegisters = 0x04;
constexpr std::uint8_t kWriteSingleRegister = 0x06;
constexpr std::uint8_t kWriteSingleCoil = 0x05;
constexpr std::uint8_t kWriteMultipleCoils = 0x0F;
constexpr std::uint8_t kWriteMultipleRegisters = 0x10;
constexpr int kRampLength = 1000;

bool isServed(std::uint8_t function)
{
    return function == kReadCoils || function == kReadDiscreteInputs ||
           function == kReadHoldingRegisters || function == kReadInputRegisters ||
           function == kWriteSingleCoil || function == kWriteSingleRegister ||
           function == kWriteMultipleCoils || function == kWriteMultipleRegisters;
}

bool readable(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
}

} // namespace

SlaveDevice::SlaveDevice(const std::vector<int> &addresses, std::optional<std::uint8_t> exception)
    : m_addresses(addresses), m_exception(exception)
{
    if (m_addresses.empty())
        throw std::runtime_error("no slave address to serve");
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error("cannot create the socket pair for libmodbus");
    m_feed.reset(ends[0]);
    m_wire.reset(ends[1]);

    for (const int address : m_addresses) {
        modbus_mapping_t *&registers = m_registers.at(static_cast<std::size_t>(address));
        registers =
            modbus_mapping_new(kRegisterCount, kRegisterCount, kRegisterCount, kRegisterCount);
        if (registers == nullptr)
            throw std::runtime_error("libmodbus cannot allocate the registers");
        for (int k = 0; k < kRegisterCount; ++k) {
            registers->tab_registers[k] = static_cast<std::uint16_t>(10 * k);
            registers->tab_input_registers[k] = static_cast<std::uint16_t>(1000 + k);
            registers->tab_bits[k] = k % 3 == 0 ? 1 : 0;
            registers->tab_input_bits[k] = k % 2 == 1 ? 1 : 0;
        }
        updateLiveRegisters(address);
    }
    newContext();
}

SlaveDevice::~SlaveDevice()
{
    if (m_context != nullptr)
        modbus_free(m_context);
    for (modbus_mapping_t *registers : m_registers)
        if (registers != nullptr)
            modbus_mapping_free(registers);
}

void SlaveDevice::newContext()
{
    if (m_context != nullptr)
        modbus_free(m_context);
    // The device name is never opened: modbus_connect is not called, the socket pair stands in
    // for the line, and this object closes it.
    m_context = modbus_new_rtu("socket-pair", 9600, 'N', 8, 1);
    if (m_context == nullptr)
        throw std::runtime_error("libmodbus cannot create an RTU context");
    if (modbus_set_slave(m_context, m_addresses.front()) != 0 ||
        modbus_set_socket(m_context, m_wire.get()) != 0)
        throw std::runtime_error("libmodbus refuses the slave address or the socket");
    // Every byte of a burst is already in the socket when libmodbus reads: a frame that
    // stops short is incomplete, and waiting longer would not help.
    modbus_set_byte_timeout(m_context, 0, 1000);
    modbus_set_indication_timeout(m_context, 0, 1000);
    // Before some exception replies libmodbus sleeps the response timeout to let the line fall
    // silent; the socket pair holds nothing more, so the reply should not wait half a second.
    modbus_set_response_timeout(m_context, 0, 1000);
}

// libmodbus serves one slave address: the address byte of the next frame picks the slave it
// is set to, and a frame for no slave of ours is left to libmodbus to ignore.
int SlaveDevice::nextFrameAddress() const
{
    std::uint8_t address = 0;
    if (::recv(m_wire.get(), &address, 1, MSG_PEEK | MSG_DONTWAIT) == 1 &&
        address <= kMaxSlaveAddress && m_registers[address] != nullptr)
        return address;
    return m_addresses.front();
}

void SlaveDevice::updateLiveRegisters(int address)
{
    modbus_mapping_t *registers = m_registers.at(static_cast<std::size_t>(address));
    const std::uint64_t served = m_served.at(static_cast<std::size_t>(address));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_start)
            .count();
    const auto ramp = static_cast<std::uint16_t>(served == 0 ? 0 : (served - 1) % kRampLength);
    for (std::uint16_t *table : {registers->tab_registers, registers->tab_input_registers}) {
        table[0] = static_cast<std::uint16_t>(served);
        table[1] = static_cast<std::uint16_t>(seconds);
        table[2] = ramp;
    }
}

// One slave takes the request: it is counted, and carried out and answered unless the
// exception stands in; a broadcast is never answered.
void SlaveDevice::serve(int address, std::span<const std::uint8_t> request)
{
    const bool broadcast = request[0] == MODBUS_BROADCAST_ADDRESS;
    ++m_served.at(static_cast<std::size_t>(address));
    updateLiveRegisters(address);
    if (m_exception) {
        // libmodbus builds exception replies only for the codes it names; a raw message takes
        // any code, with the address in front and the CRC behind.
        const std::array<std::uint8_t, 3> exception{
            request[0], static_cast<std::uint8_t>(request[1] | 0x80), *m_exception};
        if (!broadcast)
            modbus_send_raw_request(m_context, exception.data(),
                                    static_cast<int>(exception.size()));
    } else if (isServed(request[1])) {
        modbus_reply(m_context, request.data(), static_cast<int>(request.size()),
                     m_registers.at(static_cast<std::size_t>(address)));
    } else if (!broadcast) {
        modbus_reply_exception(m_context, request.data(), MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
    }
}

std::vector<FrameResult> SlaveDevice::handle(std::span<const std::uint8_t> burst)
{
    std::vector<FrameResult> results;
    if (burst.empty())
        return results;
    const ssize_t fed = ::send(m_feed.get(), burst.data(), burst.size(), MSG_DONTWAIT);
    if (fed <= 0) {
        results.push_back({{}, "dropped: the burst does not fit into the socket pair"});
        return results;
    }

    while (readable(m_wire.get())) {
        modbus_set_slave(m_context, nextFrameAddress());
        std::array<std::uint8_t, MODBUS_RTU_MAX_ADU_LENGTH> request{};
        const int length = modbus_receive(m_context, request.data());
        FrameResult result;
        if (length > 0) {
            const std::span<const std::uint8_t> frame(request.data(),
                                                      static_cast<std::size_t>(length));
            const bool broadcast = request[0] == MODBUS_BROADCAST_ADDRESS;
            if (broadcast) {
                // Every slave on the line hears a broadcast and carries it out.
                for (const int address : m_addresses)
                    serve(address, frame);
            } else {
                serve(request[0], frame);
            }
            result.reply = takeReply();
            if (result.reply.empty())
                result.note = !broadcast    ? "no reply: libmodbus built none"
                              : m_exception ? "broadcast: not carried out (an exception "
                                              "stands in for every reply), never answered"
                                            : "broadcast: carried out, never answered";
        } else if (length == 0) {
            // libmodbus then expects the other slave's reply and would swallow the next frame as
            // that reply; on this line no other slave answers, so start afresh.
            result.note = "ignored: for slave " + std::to_string(request[0]);
            newContext();
        } else {
            const int error = errno;
            result.note = "dropped: " + std::string(error == ETIMEDOUT ? "incomplete frame"
                                                                       : modbus_strerror(error));
            discardPending();
            newContext();
            results.push_back(std::move(result));
            break;
        }
        results.push_back(std::move(result));
    }
    return results;
}

std::vector<std::uint8_t> SlaveDevice::takeReply()
{
    std::vector<std::uint8_t> reply;
    std::array<std::uint8_t, MODBUS_RTU_MAX_ADU_LENGTH> chunk{};
    ssize_t got = 0;
    while ((got = ::recv(m_feed.get(), chunk.data(), chunk.size(), MSG_DONTWAIT)) > 0)
        reply.insert(reply.end(), chunk.begin(), chunk.begin() + got);
    return reply;
}

void SlaveDevice::discardPending()
{
    std::array<std::uint8_t, MODBUS_RTU_MAX_ADU_LENGTH> chunk{};
    while (::recv(m_wire.get(), chunk.data(), chunk.size(), MSG_DONTWAIT) > 0) {
    }
}

} // namespace simulator
