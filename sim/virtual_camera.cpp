#include <sim/virtual_camera.h>

#include <sim/device_responder.h>

#include <cmath>

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeviceCentre = 32767.5;
constexpr uint8_t kFirstLaserLine = 6;  // laser outputs 1..4 are digital lines 6..9

bool IsLaserLine(uint8_t line) { return line >= kFirstLaserLine && line < kFirstLaserLine + 4; }

bool PulsesLaser(const image::ActionList& list) {
    for (const image::Action& a : list.actions) {
        if (a.op == image::Op::PulseLine && IsLaserLine(a.channel)) return true;
    }
    return false;
}

/// A pulsed laser's light: a started sequence (not one still waiting for its input) that pulses
/// a laser line. The pulses themselves are too short and too fast to be seen one by one.
bool PulsedLaserLit(DeviceResponder& responder) {
    const DeviceModel& model = responder.Model();
    const RunState run = responder.Runner().State();
    if (!run.active || run.phase == image::Phase::Armed || model.runningSequence < 0) return false;
    const DeviceMemory::Block* block = model.memory.Find(static_cast<uint16_t>(model.runningSequence));
    return block != nullptr && block->decoded != nullptr &&
           (PulsesLaser(block->decoded->main) || PulsesLaser(block->decoded->output));
}

}  // namespace

VirtualCamera::VirtualCamera(VirtualDevice& device, CameraMapping mapping)
    : device_(device), mapping_(mapping), random_(mapping.seed) {}

void VirtualCamera::SetActiveLevel(int laserOutput, int level) {
    if (laserOutput < 1 || laserOutput > 4) return;
    activeLevels_[static_cast<size_t>(laserOutput - 1)] = level != 0 ? 1 : 0;
}

CameraSpot VirtualCamera::Look() {
    CameraSpot spot;
    double x = 0, y = 0;
    device_.WithResponder<DeviceResponder>([&](DeviceResponder* responder) {
        if (responder == nullptr) return;
        const DeviceModel& model = responder->Model();
        for (size_t k = 0; k < activeLevels_.size(); ++k) {
            if (model.lineLevels[kFirstLaserLine + k] == activeLevels_[k]) spot.visible = true;
        }
        if (!spot.visible) spot.visible = PulsedLaserLit(*responder);
        x = model.MirrorX();
        y = model.MirrorY();
    });
    if (!spot.visible) return spot;
    const CameraPoint p = DeviceToCamera(x, y);
    spot.x = p.x;
    spot.y = p.y;
    if (mapping_.noisePixels > 0) {
        std::normal_distribution<double> noise(0, mapping_.noisePixels);
        spot.x += noise(random_);
        spot.y += noise(random_);
    }
    return spot;
}

CameraPoint VirtualCamera::DeviceToCamera(double x, double y) const {
    const CameraMapping& m = mapping_;
    const double angle = m.rotationDegrees * kPi / 180;
    const double sx = (x - kDeviceCentre) * m.scaleX, sy = (y - kDeviceCentre) * m.scaleY;
    const double ux = sx * std::cos(angle) - sy * std::sin(angle);
    const double uy = sx * std::sin(angle) + sy * std::cos(angle);
    const double r2 = (ux * ux + uy * uy) / (m.distortionRadius * m.distortionRadius);
    const double grow = 1 + m.distortion * r2;
    return {m.centerX + ux * grow, m.centerY + uy * grow};
}

CameraPoint VirtualCamera::CameraToDevice(double x, double y) const {
    const CameraMapping& m = mapping_;
    // Undo the distortion: find the radius r with r (1 + k r^2 / R^2) = the seen radius.
    const double vx = x - m.centerX, vy = y - m.centerY;
    const double seen = std::hypot(vx, vy);
    double r = seen;
    const double k = m.distortion / (m.distortionRadius * m.distortionRadius);
    for (int i = 0; i < 50; ++i) {
        const double step = (r * (1 + k * r * r) - seen) / (1 + 3 * k * r * r);
        r -= step;
        if (std::fabs(step) < 1e-12) break;
    }
    const double shrink = seen > 0 ? r / seen : 1;
    const double ux = vx * shrink, uy = vy * shrink;
    const double angle = m.rotationDegrees * kPi / 180;
    const double sx = ux * std::cos(angle) + uy * std::sin(angle);
    const double sy = -ux * std::sin(angle) + uy * std::cos(angle);
    return {sx / m.scaleX + kDeviceCentre, sy / m.scaleY + kDeviceCentre};
}

}  // namespace sim
