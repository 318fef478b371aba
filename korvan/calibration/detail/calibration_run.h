#pragma once
// A running calibration: the laser it lights (a copy holding the working table), the intensity,
// and the switching of that laser. Nothing else switches the calibration laser: motion and Stop
// reach it through CalibrationHooks.
#include <korvan/device/detail/calibration_hooks.h>
#include <korvan/device/detail/session.h>
#include <korvan/device/laser.h>
#include <korvan/export.h>
#include <tessel/geometry/rpointf.h>

namespace korvan::detail {

/// A run is active while the session's cached state is Calibrating: Start enters it, End and
/// Darken leave it, and a state query that finds the device neither idle nor running sequences
/// drops it. Copies of a run each own their laser and table.
class KORVAN_API CalibrationRun final : public CalibrationHooks {
public:
    /// Korvan::StartCalibration.
    unsigned int Start(Session& session, unsigned int pointCount, unsigned int laserId);
    /// Korvan::SetCalibrationIntensity.
    unsigned int SetIntensity(Session& session, unsigned int intensity);
    /// Korvan::SetCalibrationPoint; the last index adopts the table and stops.
    unsigned int SetPoint(Session& session, unsigned int index, RPOINTF camera, RPOINTF device);
    /// As above with the position read from the mirrors.
    unsigned int SetPoint(Session& session, unsigned int index, RPOINTF camera);

    unsigned int BeforeMove(Session& session) override;
    unsigned int AfterMove(Session& session) override;
    unsigned int AfterPositionRead(Session& session) override;
    void End(Session& session) override;
    void Darken(Session& session) noexcept override;

    /// The laser of the current or last run, with its working table.
    const Laser& CalibrationLaser() const { return laser_; }
    unsigned int Intensity() const { return intensity_; }

private:
    Laser laser_;
    unsigned int intensity_ = 0;
};

}  // namespace korvan::detail
