// The Korvan operations that calibrate a laser against a camera and keep its table.
#include <korvan/device/korvan.h>

#include <korvan/device/detail/keep_alive.h>
#include <korvan/device/detail/laser_levels.h>
#include <korvan/device/detail/laser_lookup.h>

#include <cmath>
#include <memory>

using korvan::ResultCommunicationError;
using korvan::ResultInvalidArgument;
using korvan::ResultNotPossibleNow;
using korvan::ResultSuccess;
using korvan::detail::AnalogLevelFor;
using korvan::detail::kMaxIntensity;
using korvan::detail::LookUpLaser;

namespace {

constexpr unsigned int kResetPointCount = 16;

bool Finite(RPOINTF p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

unsigned int Korvan::StartCalibration(unsigned int pointCount, unsigned int laserId) {
    GetState(&state);
    if (state == NotConnected) return ResultCommunicationError;
    if (state != Idle) return ResultNotPossibleNow;
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(laserId, &laser)) return r;
    // The working table first: a count it refuses must not light the laser even briefly.
    Laser working(*laser);
    if (unsigned int r = working.calibration->Init(pointCount)) return r;

    const auto laserPort = static_cast<unsigned char>(laser->port);
    if (laser->CanChangeIntensity()) {
        calibrationIntensity = laser->intensity;
        if (unsigned int r = SetAnalog(laserPort, AnalogLevelFor(*laser, calibrationIntensity))) return r;
    }
    if (unsigned int r = TurnLaserON(*laser)) {
        // A pulse sequence may have started before the failure; this object is not calibrating,
        // so switch off without the state gate that a running sequence would close.
        SwitchLaserOff(*laser);
        GetState(&state);
        return r;
    }
    calibrationLaser = std::move(working);
    state = Calibrating;
    return ResultSuccess;
}

unsigned int Korvan::SetCalibrationIntensity(unsigned int intensity) {
    GetState(&state);
    if (state == NotConnected) return ResultCommunicationError;
    if (intensity > kMaxIntensity) return ResultInvalidArgument;
    calibrationIntensity = intensity;
    if (state != Calibrating) return ResultSuccess;
    if (!calibrationLaser.CanChangeIntensity()) return ResultNotPossibleNow;
    if (unsigned int r = TurnLaserOFF(calibrationLaser)) return r;
    if (unsigned int r =
            SetAnalog(static_cast<unsigned char>(calibrationLaser.port), AnalogLevelFor(calibrationLaser, intensity))) {
        return r;
    }
    return TurnLaserON(calibrationLaser);
}

unsigned int Korvan::SetCalibrationPoint(unsigned int index, RPOINTF camera, RPOINTF device) {
    if (state != Calibrating) return ResultNotPossibleNow;
    if (!Finite(camera) || !Finite(device)) return ResultInvalidArgument;
    Calibration& table = *calibrationLaser.calibration;
    if (unsigned int r = table.SetCalibrationPoint(index, camera, device)) return r;
    if (index + 1 != table.pointCount) return ResultSuccess;

    Laser* laser = nullptr;
    // The laser may have been removed during the run; then the table has nowhere to go.
    if (LookUpLaser(calibrationLaser.id, &laser) == ResultSuccess) {
        std::unique_ptr<Calibration> fresh(table.Clone());
        delete laser->calibration;
        laser->calibration = fresh.release();
    }
    const unsigned int result = Stop();
    GetState(&state);
    return result;
}

unsigned int Korvan::SetCalibrationPoint(unsigned int index, RPOINTF camera) {
    GetState(&state);
    if (state == NotConnected) return ResultCommunicationError;
    tagPOINT position{};
    if (unsigned int r = GetActualPosition(&position)) return r;
    return SetCalibrationPoint(index, camera, RPOINTF(position.x, position.y));
}

unsigned int Korvan::ResetCalibration(unsigned int laserId) {
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(laserId, &laser)) return r;
    return laser->calibration->Init(kResetPointCount);
}

unsigned int Korvan::GetDeviceCoordinates(RPOINTF camera, RPOINTF* device, unsigned int laserId) {
    if (device == nullptr) return ResultInvalidArgument;
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(laserId, &laser)) return r;
    if (!Finite(camera)) return ResultInvalidArgument;
    *device = laser->calibration->DeviceCoordinates(camera);
    return ResultSuccess;
}

unsigned int Korvan::LoadCalibration(const char* path, unsigned int laserId) {
    GetState(&state);
    if (state == Calibrating) return ResultNotPossibleNow;
    Laser* laser = nullptr;
    if (LookUpLaser(laserId, &laser) != ResultSuccess) return ResultInvalidArgument;
    std::unique_ptr<Calibration> kept(laser->calibration->Clone());
    const unsigned int result = laser->calibration->LoadCalibration(path);
    if (result != ResultSuccess) {
        delete laser->calibration;
        laser->calibration = kept.release();
    }
    return result;
}

unsigned int Korvan::SaveCalibration(const char* path, unsigned int laserId) {
    GetState(&state);
    if (state == Calibrating) return ResultNotPossibleNow;
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(laserId, &laser)) return r;
    // Writing the file sends nothing; the poller keeps the connection alive meanwhile.
    korvan::detail::KeepAlivePoller poller(*this);
    const unsigned int result = laser->calibration->SaveCalibration(path);
    poller.Stop();
    return result;
}
