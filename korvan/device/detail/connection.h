#pragma once
// Finding devices, connecting to one and handing it back.
#include <korvan/device/detail/calibration_hooks.h>
#include <korvan/device/detail/session.h>
#include <korvan/export.h>

namespace korvan::detail {

/// Korvan::Search: a running calibration is darkened and the session's port dropped first.
KORVAN_API unsigned int Search(Session& session, CalibrationHooks& calibration);
/// Korvan::GetDeviceInfo.
KORVAN_API unsigned int GetDeviceInfo(const Session& session, int index, DeviceInfo* info);
/// Korvan::Connect: a running calibration is darkened first, then the session gets a new line.
KORVAN_API unsigned int Connect(Session& session, CalibrationHooks& calibration, const char* portNameOrSerialNumber);
/// Korvan::Disconnect.
KORVAN_API unsigned int Disconnect(Session& session, CalibrationHooks& calibration);

}  // namespace korvan::detail
