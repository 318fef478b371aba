#include <korvan/calibration/detail/calibration_run.h>

#include <korvan/calibration/detail/laser_tables.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/laser_levels.h>
#include <korvan/device/detail/laser_lookup.h>
#include <korvan/sequence/detail/laser_switching.h>
#include <korvan/device/detail/motion.h>
#include <korvan/device/detail/outputs.h>

#include <cmath>
#include <memory>

namespace korvan::detail {
namespace {

unsigned char AnalogPortOf(const Laser& laser) { return static_cast<unsigned char>(laser.port); }

}  // namespace

unsigned int CalibrationRun::Start(Session& session, unsigned int pointCount, unsigned int laserId) {
    RefreshState(session);
    if (session.state == NotConnected) return ResultCommunicationError;
    if (session.state != Idle) return ResultNotPossibleNow;
    Laser* laser = nullptr;
    if (unsigned int r = LookUpLaser(laserId, &laser)) return r;
    // The working table first: a count it refuses must not light the laser even briefly.
    Laser working(*laser);
    if (unsigned int r = working.calibration->Init(pointCount)) return r;

    if (laser->CanChangeIntensity()) {
        intensity_ = laser->intensity;
        if (unsigned int r = SetAnalog(session, AnalogPortOf(*laser), AnalogLevelFor(*laser, intensity_))) return r;
    }
    if (unsigned int r = TurnLaserOn(session, *laser)) {
        // A pulse sequence may have started before the failure; no run is active yet, so switch
        // off without the state gate that a running sequence would close.
        SwitchLaserOff(session, *laser);
        RefreshState(session);
        return r;
    }
    laser_ = std::move(working);
    session.state = Calibrating;
    return ResultSuccess;
}

unsigned int CalibrationRun::SetIntensity(Session& session, unsigned int intensity) {
    RefreshState(session);
    if (session.state == NotConnected) return ResultCommunicationError;
    if (intensity > kMaxIntensity) return ResultInvalidArgument;
    intensity_ = intensity;
    if (session.state != Calibrating) return ResultSuccess;
    if (!laser_.CanChangeIntensity()) return ResultNotPossibleNow;
    if (unsigned int r = TurnLaserOff(session, laser_)) return r;
    if (unsigned int r = SetAnalog(session, AnalogPortOf(laser_), AnalogLevelFor(laser_, intensity))) return r;
    return TurnLaserOn(session, laser_);
}

unsigned int CalibrationRun::SetPoint(Session& session, unsigned int index, RPOINTF camera, RPOINTF device) {
    if (session.state != Calibrating) return ResultNotPossibleNow;
    if (!Finite(camera) || !Finite(device)) return ResultInvalidArgument;
    Calibration& table = *laser_.calibration;
    if (unsigned int r = table.SetCalibrationPoint(index, camera, device)) return r;
    if (index + 1 != table.pointCount) return ResultSuccess;

    Laser* laser = nullptr;
    // The laser may have been removed during the run; then the table has nowhere to go.
    if (LookUpLaser(laser_.id, &laser) == ResultSuccess) {
        std::unique_ptr<Calibration> fresh(table.Clone());
        delete laser->calibration;
        laser->calibration = fresh.release();
    }
    const unsigned int result = Stop(session, *this);
    RefreshState(session);
    return result;
}

unsigned int CalibrationRun::SetPoint(Session& session, unsigned int index, RPOINTF camera) {
    RefreshState(session);
    if (session.state == NotConnected) return ResultCommunicationError;
    tagPOINT position{};
    if (unsigned int r = GetActualPosition(session, *this, &position)) return r;
    return SetPoint(session, index, camera, RPOINTF(static_cast<int>(position.x), static_cast<int>(position.y)));
}

unsigned int CalibrationRun::BeforeMove(Session& session) { return TurnLaserOff(session, laser_); }

unsigned int CalibrationRun::AfterMove(Session& session) {
    // An intensity-controlled laser comes back at the run's intensity, which also relights it.
    if (!laser_.CanChangeIntensity()) return TurnLaserOn(session, laser_);
    return SetIntensity(session, intensity_);
}

unsigned int CalibrationRun::AfterPositionRead(Session& session) { return TurnLaserOn(session, laser_); }

void CalibrationRun::End(Session& session) {
    TurnLaserOff(session, laser_);
    session.state = Idle;
}

void CalibrationRun::Darken(Session& session) noexcept {
    if (session.state != Calibrating) return;
    try {
        if (session.line != nullptr && session.PortOpen()) SwitchLaserOff(session, laser_);
    } catch (...) {
        // Best effort on the way out: nothing may escape a destructor.
    }
    session.state = Idle;
}

}  // namespace korvan::detail
