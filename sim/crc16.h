#pragma once
// The device's own CRC-16/CCITT (start 0xFFFF), computed bit by bit: deliberately not tessel's
// table-driven code, so a mistake there is not mirrored here.
#include <cstddef>
#include <cstdint>

namespace sim {
uint16_t Crc16Ccitt(const uint8_t* data, size_t length, uint16_t start = 0xFFFF);
}
