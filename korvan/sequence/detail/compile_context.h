#pragma once
// What a compilation reads, gathered in one value so that compiling stays a function of its
// inputs: the lasers, the tick time, the scan lead and the laser-port permission. It is made from
// the public settings (sequence_compiler.cpp); nothing in the compiler reads process-wide state.
#include <korvan/device/laser.h>
#include <korvan/device/result_codes.h>
#include <korvan/export.h>
#include <korvan/sequence/detail/actions.h>
#include <korvan/sequence/sequence_object.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvan::detail {

/// The largest image the device takes.
inline constexpr std::size_t kMaxImageLength = 33000000;
/// Ticks from a laser's warm-up start to its line switching on.
inline constexpr std::uint64_t kWarmUpSettleTicks = 14;
/// Loop counter of the loops the compiler makes inside one element.
inline constexpr std::uint8_t kElementLoopCounter = 1;

/// Ticks the mirrors get to settle before light, by scan mode.
inline constexpr unsigned int kDefaultScanLead = 100;
inline constexpr unsigned int kShortScanLead = 14;
inline constexpr unsigned int ScanLeadTicks(ScanMode mode) {
    return mode == ScanModeShort ? kShortScanLead : kDefaultScanLead;
}

struct BuildContext {
    /// The defined lasers; only read, and must not change during the build.
    const Laser* lasers = nullptr;
    std::size_t laserCount = 0;
    unsigned int tickTime = 50;   ///< microseconds per tick
    unsigned int scanLead = 100;  ///< ticks the mirrors get to settle (scan mode)
    /// Output elements may use ports that the sequence's lasers use (the pulse train of a laser).
    bool allowLaserPorts = false;
    std::size_t maxImageLength = kMaxImageLength;

    /// Points the context at a list of lasers (tests and tools keep theirs in a vector).
    void UseLasers(const std::vector<Laser>& list) {
        lasers = list.data();
        laserCount = list.size();
    }
};

/// A beam position the mirrors cannot reach, moved onto the field's edge.
struct ClampNote {
    double askedX = 0, askedY = 0;       ///< device coordinates asked for
    std::uint16_t usedX = 0, usedY = 0;  ///< where the mirrors go instead
    std::uint64_t count = 0;             ///< positions of the element moved; the first is kept
};

/// What one element compiles to. Ticks are kept in 64 bits so that sums and products that pass
/// the device's 32-bit ticks are caught instead of wrapped.
struct ElementOutput {
    bool timingOnly = false;
    std::vector<SequenceAction> lead;  ///< filed first: warm-up, laser on, first position
    std::vector<SequenceAction> body;  ///< then: moves, pulses, switch-off, loops, stamps
    std::uint64_t duration = 0;
    std::uint64_t illumination = 0;
    /// 0, or the result code that rejects the whole build (3 or 4), and why.
    unsigned int result = 0;
    const char* reason = "";
    /// Mirror positions outside 0..65535 that the element asked for.
    ClampNote clamped;

    void Clear() {
        lead.clear();
        body.clear();
        duration = illumination = 0;
        result = 0;
        reason = "";
        note.clear();
        clamped = ClampNote{};
    }
    /// Keeps a reason made at run time for Fail (which takes the text of a constant).
    const char* Note(std::string text) {
        note = std::move(text);
        return note.c_str();
    }
    std::string note;
    /// Rejects the element; the first reason stays.
    void Fail(unsigned int code, const char* why) {
        if (result == 0) {
            result = code;
            reason = why;
        }
    }
    /// A tick for an action; a tick the image cannot hold marks the element invalid.
    std::uint32_t Tick(std::uint64_t tick);
    /// A mirror position: each coordinate clamped to 0..65535 and truncated; a clamp is noted.
    /// False for a coordinate that is not a number.
    bool MirrorPosition(double x, double y, std::uint16_t* mirrorX, std::uint16_t* mirrorY);
};

/// The lasers an element names, in slot order, with their slot index.
struct ElementLasers {
    const Laser* laser[4] = {};
    int slot[4] = {};
    int count = 0;
    /// An identifier that names no laser, or a laser on no output.
    bool unknown = false;

    const Laser* First() const { return count > 0 ? laser[0] : nullptr; }
    const Laser* Last() const { return count > 0 ? laser[count - 1] : nullptr; }
};

/// `unwired`: also the lasers on no output. Timing takes them (their delays still shape the
/// element); a compiled image never does, the list check refuses them.
ElementLasers LasersOf(const SequenceObject& element, const BuildContext& context, bool unwired = false);

/// The laser's digital line and analog channel codes; 0 for a laser on no output, which only
/// timing ever sees (its actions are never filed).
std::uint8_t LaserLine(const Laser& laser);
std::uint8_t LaserChannel(const Laser& laser);

/// Delays in ticks. Lead rounding: 0 below half a tick, else rounded up.
std::uint64_t LeadTicks(std::uint64_t microseconds, unsigned int tickTime);
std::uint64_t CeilTicks(std::uint64_t microseconds, unsigned int tickTime);
/// Ticks between two pulses of a pulsed laser (never 0).
std::uint64_t PulsePeriod(const Laser& laser, unsigned int tickTime);

}  // namespace korvan::detail
