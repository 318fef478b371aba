// The calibration tables of the defined lasers.
#include <korvan/calibration/detail/laser_tables.h>

#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/keep_alive.h>
#include <korvan/device/detail/laser_lookup.h>

#include <cmath>
#include <memory>

namespace korvan::detail {
namespace {

constexpr unsigned int kResetPointCount = 16;

}  // namespace

unsigned int ResetCalibration(unsigned int laserId) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(laserId, &laser)) return r;
    return laser->calibration->Init(kResetPointCount);
}

unsigned int GetDeviceCoordinates(RPOINTF camera, RPOINTF* device, unsigned int laserId) {
    if (device == nullptr) return ResultInvalidArgument;
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(laserId, &laser)) return r;
    if (!Finite(camera)) return ResultInvalidArgument;
    *device = laser->calibration->DeviceCoordinates(camera);
    return ResultSuccess;
}

unsigned int LoadCalibration(Session& session, const char* path, unsigned int laserId) {
    RefreshState(session);
    if (session.state == Calibrating) return ResultNotPossibleNow;
    Laser* laser = nullptr;
    if (LookUpLaser(laserId, &laser) != ResultSuccess) return ResultInvalidArgument;
    // A refused file leaves the table as it was, points and step size exactly.
    return laser->calibration->LoadCalibration(path);
}

unsigned int SaveCalibration(Session& session, const char* path, unsigned int laserId) {
    RefreshState(session);
    if (session.state == Calibrating) return ResultNotPossibleNow;
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(laserId, &laser)) return r;
    // Writing the file sends nothing; the poller keeps the connection alive meanwhile.
    KeepAlivePoller poller(session);
    const unsigned int result = laser->calibration->SaveCalibration(path);
    poller.Stop();
    return result;
}

}  // namespace korvan::detail
