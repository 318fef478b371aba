#pragma once
// Finding devices, connecting to one and handing it back.
#include <korvan/device/detail/calibration_hooks.h>
#include <korvan/device/detail/session.h>
#include <korvan/export.h>

namespace korvan::detail {

/// Hands the device of the session's open line back at 9600 baud, without stopping what it
/// runs, and gives the session a fresh, closed line: so the device is found again by a later
/// Search, Connect or program. Search and Connect call it before they walk the ports.
KORVAN_API void ReleaseLine(Session& session);
/// Korvan::Search: a running calibration is darkened and the session's port dropped first.
KORVAN_API unsigned int Search(Session& session, CalibrationHooks& calibration);
/// Korvan::GetDeviceInfo.
KORVAN_API unsigned int GetDeviceInfo(const Session& session, int index, DeviceInfo* info);
/// Korvan::Connect: a running calibration is darkened first, then the session gets a new line.
KORVAN_API unsigned int Connect(Session& session, CalibrationHooks& calibration, const char* portNameOrSerialNumber);
/// Korvan::Disconnect.
KORVAN_API unsigned int Disconnect(Session& session, CalibrationHooks& calibration);

}  // namespace korvan::detail
