#pragma once
// What the device operations ask of a running calibration, so that motion and Stop never switch
// the calibration laser themselves. CalibrationRun (korvan/calibration/detail/calibration_run.h)
// implements it; the device code only sees this interface.
#include <korvan/device/detail/session.h>
#include <korvan/export.h>

namespace korvan::detail {

class KORVAN_API CalibrationHooks {
public:
    /// The mirrors are about to travel or be read: the calibration laser goes dark.
    virtual unsigned int BeforeMove(Session& session) = 0;
    /// The mirrors reached the spot: the laser lights again at the run's intensity.
    virtual unsigned int AfterMove(Session& session) = 0;
    /// The position was read: the laser lights again as it was.
    virtual unsigned int AfterPositionRead(Session& session) = 0;
    /// Stop ends the run: laser off, the state back to Idle.
    virtual void End(Session& session) = 0;
    /// Leaving the connection (destruction, a new connection or search): laser off if a run is
    /// active, best effort and without a state query; never throws.
    virtual void Darken(Session& session) noexcept = 0;

protected:
    ~CalibrationHooks() = default;
};

}  // namespace korvan::detail
