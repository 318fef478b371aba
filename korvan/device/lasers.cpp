#include <korvan/device/korvan.h>

#include <korvan/device/detail/firmware.h>
#include <korvan/device/detail/laser_lookup.h>
#include <korvan/device/detail/process_state.h>

#include <utility>

using korvan::ResultInvalidArgument;
using korvan::ResultNotPossibleNow;
using korvan::ResultSuccess;
using korvan::detail::LookUpLaser;

namespace {

constexpr unsigned int kMaxIntensity = 10000;

std::vector<Laser>& Lasers() { return korvan::detail::ProcessWide().laserList; }

bool IsLaserPort(OutputPorts port) {
    return port == LaserOutput1 || port == LaserOutput2 || port == LaserOutput3 || port == LaserOutput4;
}

bool MayCarryLaser(OutputPorts port) { return port == NoOutput || IsLaserPort(port); }

/// Whether a laser other than `exceptId` is on `port` (NoOutput is never taken).
bool PortTaken(OutputPorts port, const unsigned int* exceptId) {
    if (port == NoOutput) return false;
    for (const Laser& laser : Lasers()) {
        if (laser.port == port && (exceptId == nullptr || laser.id != *exceptId)) return true;
    }
    return false;
}

unsigned int SmallestFreeId() {
    unsigned int candidate = 1;
    for (bool taken = true; taken;) {
        taken = false;
        for (const Laser& laser : Lasers()) {
            if (laser.id == candidate) {
                ++candidate;
                taken = true;
                break;
            }
        }
    }
    return candidate;
}

/// Runs `use` on the laser with identifier `id`; the lookup's failure otherwise.
template <class F>
unsigned int WithLaser(unsigned int id, F use) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(id, &laser)) return r;
    use(*laser);
    return ResultSuccess;
}

}  // namespace

unsigned int Korvan::SetOutputDefaultToOffLevel(OutputPorts outputPort, int activeLevel) {
    int current = 1;
    if (unsigned int r = GetOutputDefault(outputPort, &current)) return r;
    Laser probe;  // the off level is the laser's own rule
    probe.activeLevel = activeLevel;
    const int offLevel = probe.OffLevel();
    if (current == offLevel) return ResultSuccess;
    return SetOutputDefault(outputPort, offLevel);
}

unsigned int Korvan::AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                              OutputPorts outputPort, unsigned int minIntensity, unsigned int maxIntensity,
                              unsigned int pulseFrequency, unsigned int* id, int activeLevel, unsigned int warmUpTime) {
    if (id == nullptr) return ResultInvalidArgument;
    GetState(&state);
    if (state != Idle && state != NotConnected) return ResultNotPossibleNow;
    if (PortTaken(outputPort, nullptr)) return ResultInvalidArgument;
    // Only a laser output is brought to a laser's off level: any other port is refused below,
    // and a TTL line the application uses must not change for a refused definition.
    if (korvan::detail::HasOutputDefaults(firmwareVersion) && IsLaserPort(outputPort) && state == Idle) {
        if (unsigned int r = SetOutputDefaultToOffLevel(outputPort, activeLevel)) return r;
    }

    Laser laser;
    if (minIntensity > kMaxIntensity || maxIntensity > kMaxIntensity || minIntensity > maxIntensity ||
        !MayCarryLaser(outputPort)) {
        return ResultInvalidArgument;
    }
    laser.id = SmallestFreeId();
    laser.port = outputPort;
    laser.switchOnDelay = switchOnDelay;
    laser.switchOffDelay = switchOffDelay;
    laser.intensityDelay = intensityDelay;
    laser.minIntensity = minIntensity;
    laser.maxIntensity = maxIntensity;
    laser.intensity = 0;
    laser.pulseFrequency = pulseFrequency;
    laser.warmUpTime = warmUpTime;
    laser.activeLevel = activeLevel;
    Lasers().push_back(std::move(laser));
    *id = Lasers().back().id;
    return ResultSuccess;
}

unsigned int Korvan::AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                              OutputPorts outputPort, unsigned int minIntensity, unsigned int maxIntensity,
                              unsigned int pulseFrequency, unsigned int* id) {
    return AddLaser(switchOnDelay, switchOffDelay, intensityDelay, outputPort, minIntensity, maxIntensity,
                    pulseFrequency, id, 1, 0u);
}

unsigned int Korvan::AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                              OutputPorts outputPort, unsigned int minIntensity, unsigned int maxIntensity,
                              unsigned int pulseFrequency, unsigned int* id, int activeLevel) {
    return AddLaser(switchOnDelay, switchOffDelay, intensityDelay, outputPort, minIntensity, maxIntensity,
                    pulseFrequency, id, activeLevel, 0u);
}

unsigned int Korvan::AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                              OutputPorts outputPort, unsigned int minIntensity, unsigned int maxIntensity,
                              unsigned int pulseFrequency, unsigned int* id, unsigned int warmUpTime) {
    return AddLaser(switchOnDelay, switchOffDelay, intensityDelay, outputPort, minIntensity, maxIntensity,
                    pulseFrequency, id, 1, warmUpTime);
}

unsigned int Korvan::RemoveLaser(unsigned int id) {
    auto& lasers = Lasers();
    for (auto it = lasers.begin(); it != lasers.end(); ++it) {
        if (it->id == id) {
            lasers.erase(it);
            return ResultSuccess;
        }
    }
    return ResultInvalidArgument;
}

unsigned int Korvan::GetPortForLaser(unsigned int id, OutputPorts* outputPort) {
    if (outputPort == nullptr) return ResultInvalidArgument;
    return WithLaser(id, [outputPort](const Laser& laser) { *outputPort = laser.port; });
}

unsigned int Korvan::SetPortForLaser(unsigned int id, OutputPorts outputPort) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(id, &laser)) return r;
    // AddLaser refuses every other port; a laser must not end up on one this way either.
    if (!MayCarryLaser(outputPort)) return ResultInvalidArgument;
    if (PortTaken(outputPort, &id)) return ResultInvalidArgument;
    if (korvan::detail::HasOutputDefaults(firmwareVersion) && outputPort != NoOutput) {
        if (unsigned int r = SetOutputDefaultToOffLevel(outputPort, laser->activeLevel)) return r;
    }
    laser->port = outputPort;
    return ResultSuccess;
}

unsigned int Korvan::GetLaserStepSize(unsigned int id, int* stepSize) {
    if (stepSize == nullptr) return ResultInvalidArgument;
    return WithLaser(id,
                     [stepSize](const Laser& laser) { *stepSize = static_cast<int>(laser.calibration->scanStepSize); });
}

unsigned int Korvan::SetLaserStepSize(unsigned int id, int stepSize) {
    if (stepSize < 1) return ResultInvalidArgument;
    return WithLaser(
        id, [stepSize](Laser& laser) { laser.calibration->scanStepSize = static_cast<unsigned int>(stepSize); });
}
