#pragma once
// Helpers of the sequence tests: lasers for a build context, and a readable form of a list.
#include <korvan/device/laser.h>
#include <korvan/sequence/detail/compile_context.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sequence_test {

/// A continuous laser on LaserOutput1 with no delays and no intensity control.
inline Laser PlainLaser(unsigned int id = 1, OutputPorts port = LaserOutput1) {
    Laser l;
    l.id = id;
    l.port = port;
    l.activeLevel = 1;
    return l;
}

/// Each slot of one list as "tick: hex bytes", then "end tick"; written independently of the
/// image writer so that a fault there shows. Stops at the end record.
inline std::vector<std::string> Slots(const std::vector<std::uint8_t>& b, std::size_t from = 0) {
    auto len = [](std::uint8_t code) -> std::size_t {
        switch (code) {
        case 0x10:
        case 0x11:
        case 0x20: return 3;
        case 0x30: return 2;
        case 0x40: return 4;
        case 0x51: return 14;
        default: return 1;
        }
    };
    std::vector<std::string> out;
    std::size_t p = from;
    while (p + 5 <= b.size()) {
        const std::uint32_t written = (b[p] << 24) | (b[p + 1] << 16) | (b[p + 2] << 8) | b[p + 3];
        const unsigned count = b[p + 4];
        p += 5;
        if (count == 1 && p < b.size() && b[p] == 0xFF) {
            out.push_back("end " + std::to_string(written - 2));
            break;
        }
        std::string s = std::to_string(written - 1) + ":";
        for (unsigned a = 0; a < count && p < b.size(); ++a) {
            const std::size_t n = len(b[p]);
            for (std::size_t i = 0; i < n && p < b.size(); ++i, ++p) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02X", b[p]);
                s += hex;
            }
            if (a + 1 < count) s += " |";
        }
        out.push_back(s);
    }
    return out;
}

}  // namespace sequence_test
