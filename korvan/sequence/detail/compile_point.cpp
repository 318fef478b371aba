// A point: warm-up, lead, lasers on, the position, the illumination and its intensity stamps.
#include <korvan/sequence/detail/compile_element.h>

#include <algorithm>
#include <cmath>

namespace korvan::detail {
namespace {

// The illumination of each laser; returns false when the element cannot be built.
void Illuminate(const SequencePoint& e, const ElementLasers& lasers, const IlluminationTiming& at,
                const BuildContext& context, ElementOutput& out) {
    const unsigned int t = context.tickTime;
    const std::uint64_t repeats = e.repeatCount;
    const std::uint64_t light = at.start + at.lead;
    std::uint64_t illumination = 0;
    for (int i = 0; i < lasers.count; ++i) {
        const Laser& laser = *lasers.laser[i];
        const std::uint8_t line = LaserLine(laser);
        if (!laser.IsPulsed()) {
            if (!e.switchLaserOff) {
                illumination = repeats + 1;
                continue;
            }
            // Repetitions lengthen the light also when the laser goes dark at once.
            const std::uint64_t off = CeilTicks(laser.switchOffDelay, t);
            illumination = std::max({illumination, off, repeats + 1});
            out.body.push_back(
                ActionSetTTL(out.Tick(light + illumination - off), line, static_cast<std::uint8_t>(laser.OffLevel())));
            continue;
        }
        out.body.push_back(ActionPulseTTL(out.Tick(light), line));
        illumination = std::max(illumination, PulsePeriod(laser, t));
        if (repeats != 0)
            out.body.push_back(
                ActionJump(out.Tick(light + illumination - 1), kElementLoopCounter, out.Tick(light), e.repeatCount));
        illumination *= repeats + 1;
    }
    out.illumination = illumination;
}

// Intensity changes during the light, on the point's last laser. A stamp outside the light or
// closer to the one before than the laser can follow makes the point invalid.
void Stamp(const SequencePoint& e, const ElementLasers& lasers, const IlluminationTiming& at,
           const BuildContext& context, ElementOutput& out) {
    const Laser& laser = *lasers.Last();
    if (!laser.CanChangeIntensity() || e.intensityList == nullptr || e.intensityCount == 0) return;
    const std::uint64_t spacing = std::max<std::uint64_t>(1, laser.intensityDelay / context.tickTime);
    const std::uint8_t channel = LaserChannel(laser);
    for (unsigned int k = 0; k < e.intensityCount; ++k) {
        const IntensityStamp& stamp = e.intensityList[k];
        const bool late = stamp.time >= out.illumination;
        const bool crowded =
            k > 0 && (stamp.time < e.intensityList[k - 1].time || stamp.time - e.intensityList[k - 1].time < spacing);
        if (late || crowded || stamp.intensity > 10000) {
            if (!out.timingOnly)
                out.Fail(ResultSequenceInvalid,
                         "intensity stamps must lie within the light, in order, at least the laser's intensity delay "
                         "apart, at most 10000");
            return;
        }
        out.body.push_back(ActionSetAnalog(out.Tick(at.start + at.lead + stamp.time), channel, stamp.intensity));
    }
}

}  // namespace

void CompileKind(const SequencePoint& e, const BuildContext& context, ElementOutput& out) {
    const ElementLasers lasers = LasersOf(e, context, out.timingOnly);
    if (lasers.count == 0) return;

    IlluminationStart how;
    how.switchLaserOn = e.switchLaserOn != 0;
    how.setIntensity = e.setIntensity != 0;
    how.waitForMirror = e.waitForMirror != 0;
    if (e.intensityList != nullptr && e.intensityCount > 0 && e.intensityList[0].time == 0)
        how.intensity = e.intensityList[0].intensity;
    const IlluminationTiming at = BeginIllumination(e, lasers, how, context, out);
    if (out.result != 0) return;

    RPOINTF device = e.position;
    if (!std::isfinite(device.x) || !std::isfinite(device.y)) {
        out.Fail(ResultSequenceInvalid, "coordinates are not finite");
        return;
    }
    if (e.useCalibration) {
        const Vector2f mapped = CameraToDevice(*lasers.First(), e.position);
        device = RPOINTF(static_cast<double>(mapped.x), static_cast<double>(mapped.y));
    }
    std::uint16_t x = 0, y = 0;
    if (!out.MirrorPosition(device.x, device.y, &x, &y)) {
        out.Fail(ResultSequenceInvalid, "position is not a number after the calibration mapping");
        return;
    }
    out.lead.push_back(ActionSetMirrorX(out.Tick(at.start), x));
    out.lead.push_back(ActionSetMirrorY(out.Tick(at.start), y));

    Illuminate(e, lasers, at, context, out);
    out.duration = at.lead + out.illumination + at.warmUp;
    Stamp(e, lasers, at, context, out);
}

}  // namespace korvan::detail
