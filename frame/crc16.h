#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace frame
{

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final XOR.
// On the wire the low-order byte goes first.
std::uint16_t crc16Modbus(std::span<const std::uint8_t> bytes);

} // namespace frame
