#pragma once
// The process-wide laser list: defining, removing and re-porting lasers. On firmware with output
// defaults a laser's port is first brought to the laser's off level.
#include <korvan/device/detail/session.h>
#include <korvan/device/laser.h>
#include <korvan/export.h>

namespace korvan::detail {

/// Adds `laser` (every member but `id` filled in) under the smallest free identifier, written to
/// `*id`. See Korvan::AddLaser for the checks.
KORVAN_API unsigned int DefineLaser(Session& session, Laser laser, unsigned int* id);
KORVAN_API unsigned int RemoveLaser(unsigned int id);
KORVAN_API unsigned int GetPortForLaser(unsigned int id, OutputPorts* port);
KORVAN_API unsigned int SetPortForLaser(Session& session, unsigned int id, OutputPorts port);
KORVAN_API unsigned int GetLaserStepSize(unsigned int id, int* stepSize);
KORVAN_API unsigned int SetLaserStepSize(unsigned int id, int stepSize);
/// Copies the definition of laser `id` (its calibration cloned) to `*laser`; see Korvan::GetLaser.
KORVAN_API unsigned int CopyLaser(unsigned int id, Laser* laser);

}  // namespace korvan::detail
