#include <korvan/sequence/detail/compile_context.h>

#include <korvan/device/detail/port_codes.h>

#include <algorithm>
#include <cmath>

namespace korvan::detail {

std::uint32_t ElementOutput::Tick(std::uint64_t tick) {
    if (tick > 0xFFFFFFFEu) {
        Fail(ResultSequenceInvalid, "a time beyond the device's 32-bit ticks");
        return 0;
    }
    return static_cast<std::uint32_t>(tick);
}

bool ElementOutput::MirrorPosition(double x, double y, std::uint16_t* mirrorX, std::uint16_t* mirrorY) {
    if (std::isnan(x) || std::isnan(y)) return false;
    const double cx = std::clamp(x, 0.0, 65535.0), cy = std::clamp(y, 0.0, 65535.0);
    *mirrorX = static_cast<std::uint16_t>(cx);
    *mirrorY = static_cast<std::uint16_t>(cy);
    // Truncation takes (-1, 0) to 0 as well; only a position the clamp moves is noted.
    if (x <= -1 || y <= -1 || x >= 65536 || y >= 65536) {
        if (clamped.count == 0) clamped = {x, y, *mirrorX, *mirrorY, 0};
        ++clamped.count;
    }
    return true;
}

ElementLasers LasersOf(const SequenceObject& element, const BuildContext& context, bool unwired) {
    ElementLasers found;
    for (int i = 0; i < 4; ++i) {
        const unsigned int id = element.laserIds[i];
        if (id == 0) continue;
        const Laser* match = nullptr;
        for (std::size_t k = 0; k < context.laserCount && context.lasers != nullptr; ++k)
            if (context.lasers[k].id == id) {
                match = &context.lasers[k];
                break;
            }
        if (match == nullptr || (match->port == NoOutput && !unwired)) {
            found.unknown = true;
            continue;
        }
        found.laser[found.count] = match;
        found.slot[found.count] = i;
        ++found.count;
    }
    return found;
}

std::uint8_t LaserLine(const Laser& laser) { return DigitalLineCode(laser.port).value_or(0); }

std::uint8_t LaserChannel(const Laser& laser) { return AnalogChannelCode(laser.port).value_or(0); }

std::uint64_t LeadTicks(std::uint64_t microseconds, unsigned int tickTime) {
    if (microseconds < tickTime / 2) return 0;
    return CeilTicks(microseconds, tickTime);
}

std::uint64_t CeilTicks(std::uint64_t microseconds, unsigned int tickTime) {
    return (microseconds + tickTime - 1) / tickTime;
}

std::uint64_t PulsePeriod(const Laser& laser, unsigned int tickTime) {
    const std::uint64_t f = laser.pulseFrequency;
    const std::uint64_t periodUs = 1000000 / f;
    std::uint64_t period = periodUs / tickTime;
    if (periodUs % tickTime != 0 || f >= 1000000) ++period;
    return period;
}

}  // namespace korvan::detail
