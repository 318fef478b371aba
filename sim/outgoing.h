#pragma once
// What the device sends back in one go: the router fills these from replies and the faults aimed
// at them, the line writes them out after the device's lock is released (a late reply sleeps
// there, not while holding the lock).
#include <cstdint>
#include <vector>

namespace sim {

struct Outgoing {
    std::vector<uint8_t> bytes;
    int delayMs = 0;        // wait this long before writing
    bool dropLine = false;  // instead of writing: the line goes away
};

}  // namespace sim
