#include <korvan/device/detail/laser_list.h>

#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/firmware.h>
#include <korvan/device/detail/laser_levels.h>
#include <korvan/device/detail/laser_lookup.h>
#include <korvan/device/detail/outputs.h>
#include <korvan/device/detail/process_state.h>

#include <utility>

namespace korvan::detail {
namespace {

std::vector<Laser>& Lasers() { return ProcessWide().laserList; }

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

unsigned int DefineLaser(Session& session, Laser laser, unsigned int* id) {
    // An active level is a line level: anything else is a misread argument (a warm-up time
    // given to the activeLevel overload), refused before anything is sent.
    if (id == nullptr || (laser.activeLevel != 0 && laser.activeLevel != 1)) return ResultInvalidArgument;
    RefreshState(session);
    if (session.state != Idle && session.state != NotConnected) return ResultNotPossibleNow;
    if (PortTaken(laser.port, nullptr)) return ResultInvalidArgument;
    // Only a laser output is brought to a laser's off level: any other port is refused below,
    // and a TTL line the application uses must not change for a refused definition.
    if (HasOutputDefaults(session.firmwareVersion) && IsLaserPort(laser.port) && session.state == Idle) {
        if (unsigned int r = SetOutputDefaultTo(session, laser.port, laser.OffLevel())) return r;
    }
    if (laser.minIntensity > kMaxIntensity || laser.maxIntensity > kMaxIntensity ||
        laser.minIntensity > laser.maxIntensity || !MayCarryLaser(laser.port)) {
        return ResultInvalidArgument;
    }
    laser.id = SmallestFreeId();
    Lasers().push_back(std::move(laser));
    *id = Lasers().back().id;
    return ResultSuccess;
}

unsigned int RemoveLaser(unsigned int id) {
    auto& lasers = Lasers();
    for (auto it = lasers.begin(); it != lasers.end(); ++it) {
        if (it->id == id) {
            lasers.erase(it);
            return ResultSuccess;
        }
    }
    return ResultInvalidArgument;
}

unsigned int GetPortForLaser(unsigned int id, OutputPorts* port) {
    if (port == nullptr) return ResultInvalidArgument;
    return WithLaser(id, [port](const Laser& laser) { *port = laser.port; });
}

unsigned int SetPortForLaser(Session& session, unsigned int id, OutputPorts port) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(id, &laser)) return r;
    // DefineLaser refuses every other port; a laser must not end up on one this way either.
    if (!MayCarryLaser(port)) return ResultInvalidArgument;
    if (PortTaken(port, &id)) return ResultInvalidArgument;
    if (HasOutputDefaults(session.firmwareVersion) && port != NoOutput) {
        if (unsigned int r = SetOutputDefaultTo(session, port, laser->OffLevel())) return r;
    }
    laser->port = port;
    return ResultSuccess;
}

unsigned int GetLaserStepSize(unsigned int id, int* stepSize) {
    if (stepSize == nullptr) return ResultInvalidArgument;
    return WithLaser(id,
                     [stepSize](const Laser& laser) { *stepSize = static_cast<int>(laser.calibration->scanStepSize); });
}

unsigned int SetLaserStepSize(unsigned int id, int stepSize) {
    if (stepSize < 1) return ResultInvalidArgument;
    return WithLaser(
        id, [stepSize](Laser& laser) { laser.calibration->scanStepSize = static_cast<unsigned int>(stepSize); });
}

unsigned int CopyLaser(unsigned int id, Laser* laser) {
    if (laser == nullptr) return ResultInvalidArgument;
    return WithLaser(id, [laser](const Laser& found) { *laser = found; });
}

}  // namespace korvan::detail
