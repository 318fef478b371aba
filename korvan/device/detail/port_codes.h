#pragma once
// The one-byte codes an output port becomes on the wire: a digital line code for commands that
// switch a line, an analog channel code for commands that set a level or read a mirror.
#include <cstdint>
#include <optional>

namespace korvan::detail {

constexpr std::optional<std::uint8_t> DigitalLineCode(unsigned int port) {
    switch (port) {
    case 2: return 6;  // LaserOutput1..4
    case 3: return 7;
    case 4: return 8;
    case 5: return 9;
    case 6: return 0;  // TTLOutput1, TTLOutput2
    case 7: return 1;
    default: return std::nullopt;
    }
}

constexpr std::optional<std::uint8_t> AnalogChannelCode(unsigned int port) {
    switch (port) {
    case 2: return 4;  // LaserOutput1..4
    case 3: return 5;
    case 4: return 6;
    case 5: return 7;
    case 255: return 2;  // MirrorX
    case 254: return 3;  // MirrorY
    default: return std::nullopt;
    }
}

}  // namespace korvan::detail
