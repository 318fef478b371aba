// A line, and the scan along positions that lines, polygon outlines and hatch lines share.
#include <korvan/sequence/detail/compile_element.h>

#include <korvan/sequence/detail/line_positions.h>

#include <algorithm>
#include <cmath>

namespace korvan::detail {
namespace {

// Ticks at each position. Pulsed: one pulse period. Continuous: one tick, or enough that the
// whole scan outlasts the laser's switch-off delay.
std::uint64_t Dwell(const Laser& laser, std::uint64_t positions, unsigned int t) {
    if (laser.IsPulsed()) return std::max<std::uint64_t>(1, PulsePeriod(laser, t));
    const std::uint64_t scan = positions * t;
    if (scan >= laser.switchOffDelay) return 1;
    return (laser.switchOffDelay + scan - 1) / scan;
}

// The dwell of the first laser, lengthened until every continuous laser of the element goes dark
// by the end of the scan and its line switches off at least one tick after it switched on. A
// later laser with a longer switch-off delay than the first would otherwise get its switch-off
// before its switch-on and stay lit; a hatch line (no extension) whose scan just equals the
// delay would switch on and off in one tick and never light.
std::uint64_t ElementDwell(const ElementLasers& lasers, const IlluminationTiming& at, std::uint64_t positions,
                           std::uint64_t extension, unsigned int t) {
    std::uint64_t dwell = Dwell(*lasers.First(), positions, t);
    for (int i = 0; i < lasers.count; ++i) {
        const Laser& laser = *lasers.laser[i];
        if (laser.IsPulsed()) continue;
        dwell = std::max(dwell, Dwell(laser, positions, t));
        // The switch-off, end - 1 - delay, must come after the switch-on: dwell x positions must
        // reach delay + switch-on + 2 - lead - extension.
        const std::uint64_t need = laser.switchOffDelay / t + at.switchOn[i] + 2;
        const std::uint64_t have = at.lead + extension;
        if (need > have) dwell = std::max(dwell, (need - have + positions - 1) / positions);
    }
    return dwell;
}

bool FileMove(ElementOutput& out, std::uint64_t tick, Vector2f p) {
    std::uint16_t x = 0, y = 0;
    if (!out.MirrorPosition(p.x, p.y, &x, &y)) return false;
    out.body.push_back(ActionSetMirrorX(out.Tick(tick), x));
    out.body.push_back(ActionSetMirrorY(out.Tick(tick), y));
    return true;
}

}  // namespace

void CompileScan(const SequenceObject& e, const ElementLasers& lasers, const ScanPath& path,
                 const BuildContext& context, ElementOutput& out) {
    const unsigned int t = context.tickTime;
    // Two mirror actions per position: a path longer than that can never fit.
    if (path.count == 0 || path.count > context.maxImageLength / 8) {
        out.Fail(ResultMemoryTooSmall, "path too long for the device memory");
        return;
    }
    IlluminationStart how;
    how.warmUp = path.warmUp;
    const IlluminationTiming at = BeginIllumination(e, lasers, how, context, out);
    if (out.result != 0) return;

    const Laser& dwellLaser = *lasers.First();
    const std::uint64_t n = path.count;
    const std::uint64_t extension = path.continuousExtension && !dwellLaser.IsPulsed() ? 2 : 0;
    const std::uint64_t dwell = ElementDwell(lasers, at, n, extension, t);
    const std::uint64_t s = at.start;
    const std::uint64_t light = s + at.lead;
    if (light < 3) {  // the first move comes 3 ticks before the light
        out.Fail(ResultSequenceInvalid, "lead too short for the first mirror move");
        return;
    }

    if (path.positions != nullptr) {
        const std::vector<Vector2f>& p = *path.positions;
        std::uint16_t x = 0, y = 0;
        if (!out.MirrorPosition(p[0].x, p[0].y, &x, &y)) {
            out.Fail(ResultSequenceInvalid, "position is not a number");
            return;
        }
        out.lead.push_back(ActionSetMirrorX(out.Tick(s), x));
        out.lead.push_back(ActionSetMirrorY(out.Tick(s), y));
        for (std::uint64_t k = 1; k < n; ++k) {
            const std::uint64_t at_k = light + dwell * (k - 1);
            if (!FileMove(out, at_k - 3, p[k])) {
                out.Fail(ResultSequenceInvalid, "position is not a number");
                return;
            }
            for (int i = 0; i < lasers.count; ++i)
                if (lasers.laser[i]->IsPulsed())
                    out.body.push_back(ActionPulseTTL(out.Tick(at_k), LaserLine(*lasers.laser[i])));
        }
        // Pulses go with the moves to positions 1 onwards; a single position has no move, so it
        // gets its pulse at the light, or it would report light it never gives.
        if (n == 1)
            for (int i = 0; i < lasers.count; ++i)
                if (lasers.laser[i]->IsPulsed())
                    out.body.push_back(ActionPulseTTL(out.Tick(light), LaserLine(*lasers.laser[i])));
    }

    const std::uint64_t end = light + dwell * n + extension;  // one past the last tick of a pass
    for (int i = 0; i < lasers.count; ++i) {
        const Laser& laser = *lasers.laser[i];
        if (laser.IsPulsed()) continue;
        // After its switch-on by ElementDwell, so never before the element's start.
        const std::uint64_t off = end - 1 - laser.switchOffDelay / t;
        out.body.push_back(ActionSetTTL(out.Tick(off), LaserLine(laser), static_cast<std::uint8_t>(laser.OffLevel())));
    }
    const std::uint64_t repeats = path.repeat ? e.repeatCount : 0;
    if (repeats != 0)
        out.body.push_back(ActionJump(out.Tick(end - 1), kElementLoopCounter, out.Tick(s), e.repeatCount));

    out.illumination = (dwell * n + extension) * (repeats + 1);
    out.duration = out.illumination + at.lead * (repeats + 1) + at.warmUp;
}

void CompileKind(const SequenceLine& e, const BuildContext& context, ElementOutput& out) {
    const ElementLasers lasers = LasersOf(e, context, out.timingOnly);
    if (lasers.count == 0) return;
    if (!std::isfinite(e.start.x) || !std::isfinite(e.start.y) || !std::isfinite(e.end.x) || !std::isfinite(e.end.y)) {
        out.Fail(ResultSequenceInvalid, "coordinates are not finite");
        return;
    }
    const Laser& laser = *lasers.First();
    const Vector2f start = CameraToDevice(laser, e.start);
    const Vector2f end = CameraToDevice(laser, e.end);
    const auto step = static_cast<float>(laser.calibration != nullptr ? laser.calibration->scanStepSize : 100);

    ScanPath path;
    path.count = LinePositionCount(start, end, step);
    std::vector<Vector2f> positions;
    if (!out.timingOnly && path.count > 0 && path.count <= context.maxImageLength / 8) {
        positions = LinePositions(start, end, step);
        path.positions = &positions;
    }
    CompileScan(e, lasers, path, context, out);
}

}  // namespace korvan::detail
