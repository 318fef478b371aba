// A line, and the scan along positions that lines, polygon outlines and hatch lines share.
#include <korvan/sequence/detail/compile_element.h>

#include <korvan/device/detail/port_codes.h>
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

bool FileMove(ElementOutput& out, std::uint64_t tick, Vector2f p) {
    std::uint16_t x = 0, y = 0;
    if (!MirrorCoordinate(p.x, &x) || !MirrorCoordinate(p.y, &y)) return false;
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
    const std::uint64_t dwell = Dwell(dwellLaser, n, t);
    const std::uint64_t s = at.start;
    const std::uint64_t light = s + at.lead;
    if (light < 3) {  // the first move comes 3 ticks before the light
        out.Fail(ResultSequenceInvalid, "lead too short for the first mirror move");
        return;
    }

    if (path.positions != nullptr) {
        const std::vector<Vector2f>& p = *path.positions;
        std::uint16_t x = 0, y = 0;
        if (!MirrorCoordinate(p[0].x, &x) || !MirrorCoordinate(p[0].y, &y)) {
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
                    out.body.push_back(ActionPulseTTL(out.Tick(at_k), *DigitalLineCode(lasers.laser[i]->port)));
        }
    }

    const std::uint64_t extension = path.continuousExtension && !dwellLaser.IsPulsed() ? 2 : 0;
    const std::uint64_t end = light + dwell * n + extension;  // one past the last tick of a pass
    for (int i = 0; i < lasers.count; ++i) {
        const Laser& laser = *lasers.laser[i];
        if (laser.IsPulsed()) continue;
        const std::uint64_t lag = laser.switchOffDelay / t;
        const std::uint64_t off = end - 1 >= lag ? end - 1 - lag : 0;
        out.body.push_back(ActionSetTTL(out.Tick(std::max(off, s)), *DigitalLineCode(laser.port),
                                        static_cast<std::uint8_t>(laser.OffLevel())));
    }
    const std::uint64_t repeats = path.repeat ? e.repeatCount : 0;
    if (repeats != 0)
        out.body.push_back(ActionJump(out.Tick(end - 1), kElementLoopCounter, out.Tick(s), e.repeatCount));

    out.illumination = (dwell * n + extension) * (repeats + 1);
    out.duration = out.illumination + at.lead * (repeats + 1) + at.warmUp;
}

void CompileKind(const SequenceLine& e, const BuildContext& context, ElementOutput& out) {
    const ElementLasers lasers = LasersOf(e, context);
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
