#pragma once
// Moving and reading the mirrors. During a calibration run the beam is darkened around each move
// through the run's hooks.
#include <korvan/device/detail/calibration_hooks.h>
#include <korvan/device/detail/session.h>
#include <korvan/export.h>
#include <tessel/geometry/tag_point.h>

namespace korvan::detail {

KORVAN_API unsigned int MoveAbsolute(Session& session, CalibrationHooks& calibration, unsigned int x, unsigned int y);
KORVAN_API unsigned int MoveRelative(Session& session, CalibrationHooks& calibration, int dx, int dy);
KORVAN_API unsigned int GetActualPosition(Session& session, CalibrationHooks& calibration, tagPOINT* position);

}  // namespace korvan::detail
