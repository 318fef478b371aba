#pragma once
// Faults the virtual device can be told to commit, so that tests see how the host copes.
// A fault changes what goes back on the line, not what the device did: a request whose reply is
// lost or refused (a baud-rate switch, say) has still taken effect inside the device.
#include <sim/export.h>

#include <cstdint>
#include <vector>

namespace sim {

enum class Fault {
    NoReply,         // the request is consumed and never answered
    WrongEcho,       // the first reply byte is inverted
    RefusingStatus,  // the reply's status byte becomes 0x00 (replies without one are unchanged)
    ShortReply,      // the last reply byte is left out
    LateReply,       // the reply goes out after `delayMs`
    Garbage,         // `garbage` goes out in front of the reply
    LineGone,        // the pseudo-terminal disappears instead of a reply
};

// Request codes that fault rules match on: a request byte, or one of these.
constexpr int kAnyRequest = -1;
constexpr int kFirmwareBlock = 0x100;  // one block of a firmware update

struct FaultRule {
    Fault kind = Fault::NoReply;
    int request = kAnyRequest;  // which requests it applies to
    int skip = 0;               // matching requests let through unharmed first
    int times = 1;              // how many matching requests it harms; -1: all from then on
    int delayMs = 0;            // LateReply
    std::vector<uint8_t> garbage = {0xA5, 0x5A, 0xC3};
};

}  // namespace sim
