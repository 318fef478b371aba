#pragma once
// The calibration tables of the defined lasers: reset, map, load and save.
#include <korvan/device/detail/session.h>
#include <korvan/export.h>
#include <tessel/geometry/rpointf.h>

#include <cmath>

namespace korvan::detail {

/// Both coordinates finite: the rule every camera and device point passes before it is used.
inline bool Finite(RPOINTF p) { return std::isfinite(p.x) && std::isfinite(p.y); }

KORVAN_API unsigned int ResetCalibration(unsigned int laserId);
KORVAN_API unsigned int GetDeviceCoordinates(RPOINTF camera, RPOINTF* device, unsigned int laserId);
/// 5 during a run.
KORVAN_API unsigned int LoadCalibration(Session& session, const char* path, unsigned int laserId);
/// 5 during a run; the connection is kept alive while the file is written.
KORVAN_API unsigned int SaveCalibration(Session& session, const char* path, unsigned int laserId);

}  // namespace korvan::detail
