#include <korvan/sequence/detail/compile_element.h>

#include <korvan/device/detail/laser_levels.h>
#include <tessel/geometry/coordinate_transformation.h>

#include <algorithm>
#include <cmath>

namespace korvan::detail {
namespace {

void SortByTick(std::vector<SequenceAction>& actions) {
    const auto earlier = [](const SequenceAction& a, const SequenceAction& b) { return a.tick < b.tick; };
    if (!std::is_sorted(actions.begin(), actions.end(), earlier))
        std::stable_sort(actions.begin(), actions.end(), earlier);
}

}  // namespace

void CompileElement(const SequenceObject& element, const BuildContext& context, ElementOutput& out) {
    out.Clear();
    VisitElement(element, [&](const auto& e) { CompileKind(e, context, out); });
    if (out.result != 0 || (out.duration == 0 && out.illumination == 0)) {
        out.lead.clear();
        out.body.clear();
        return;
    }
    if (!out.timingOnly) {
        SortByTick(out.lead);
        SortByTick(out.body);
    }
}

IlluminationTiming BeginIllumination(const SequenceObject& e, const ElementLasers& lasers, const IlluminationStart& how,
                                     const BuildContext& context, ElementOutput& out) {
    const unsigned int t = context.tickTime;
    IlluminationTiming timing;
    const std::uint64_t s0 = e.startTick;

    // Warm-up: the beam parks at 0, 0 while each laser runs for its warm-up time.
    if (how.switchLaserOn && how.warmUp) {
        bool parked = false;
        for (int i = 0; i < lasers.count; ++i) {
            const Laser& laser = *lasers.laser[i];
            if (laser.warmUpTime == 0) continue;
            const std::uint64_t warm = CeilTicks(laser.warmUpTime, t);
            timing.warmUp = std::max(timing.warmUp, warm + kWarmUpSettleTicks);
            if (!parked) {
                out.lead.push_back(ActionSetMirrorX(out.Tick(s0), 0));
                out.lead.push_back(ActionSetMirrorY(out.Tick(s0), 0));
                parked = true;
            }
            const std::uint8_t line = LaserLine(laser);
            if (!laser.IsPulsed()) {
                out.lead.push_back(
                    ActionSetTTL(out.Tick(s0 + kWarmUpSettleTicks), line, static_cast<std::uint8_t>(laser.OnLevel())));
                continue;
            }
            const std::uint64_t period = PulsePeriod(laser, t);
            const std::uint64_t pulses = warm / period;
            // Each pulse of one laser has a tick, so a slot, of its own: at least 7 image bytes.
            if (pulses > context.maxImageLength / 7) {  // cannot fit in any image
                out.Fail(ResultMemoryTooSmall, "warm-up too long for any image");
                return timing;
            }
            // Timing needs only the warm-up's length; millions of pulses would cost it seconds.
            if (out.timingOnly) continue;
            for (std::uint64_t k = 0; k < pulses; ++k)
                out.lead.push_back(ActionPulseTTL(out.Tick(s0 + kWarmUpSettleTicks + k * period), line));
        }
    }
    const std::uint64_t s = s0 + timing.warmUp;
    timing.start = s;

    // Lead: each laser needs its switch-on and intensity delays, the mirrors their settle time.
    const std::uint64_t mirror = how.waitForMirror ? context.scanLead : 0;
    std::uint64_t* onOffset = timing.switchOn;
    for (int i = 0; i < lasers.count; ++i) {
        const Laser& laser = *lasers.laser[i];
        const std::uint64_t d = how.switchLaserOn && !laser.IsPulsed() ? LeadTicks(laser.switchOnDelay, t) : 0;
        const std::uint64_t a = how.setIntensity && laser.CanChangeIntensity() ? LeadTicks(laser.intensityDelay, t) : 0;
        const std::uint64_t l = std::max({d, a, mirror});
        onOffset[i] = l > d ? l - d - 1 : 0;
        timing.lead = std::max(timing.lead, l);
    }

    for (int i = 0; i < lasers.count; ++i) {
        const Laser& laser = *lasers.laser[i];
        if (how.switchLaserOn && !laser.IsPulsed())
            out.lead.push_back(
                ActionSetTTL(out.Tick(s + onOffset[i]), LaserLine(laser), static_cast<std::uint8_t>(laser.OnLevel())));
        if (how.setIntensity && laser.CanChangeIntensity()) {
            const unsigned int intensity = how.intensity.value_or(e.intensities[lasers.slot[i]]);
            if (intensity > 10000) {
                out.Fail(ResultSequenceInvalid, "intensity above 10000");
                return timing;
            }
            const std::uint32_t level = SequenceAnalogLevel(laser, intensity);
            out.lead.push_back(ActionSetAnalog(out.Tick(s), LaserChannel(laser), level));
        }
    }
    return timing;
}

Vector2f CameraToDevice(const Laser& laser, RPOINTF camera) {
    const Calibration* c = laser.calibration;
    if (c == nullptr) return Vector2f(camera);
    const Vector2f device = CoordinateTransformation::TransformCameraToDeviceCoordinates(
        Vector2f(camera), c->calibrationPoints, c->pointCount);
    return Vector2f(std::trunc(device.x), std::trunc(device.y));
}

}  // namespace korvan::detail
