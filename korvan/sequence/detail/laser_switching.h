#pragma once
// Switching a defined laser outside a sequence: a continuous laser through its line and analog
// channel, a pulsed laser through a one-element pulse sequence that repeats until stopped. It lives
// with the sequences because of the latter; the calibration run and the front call it.
#include <korvan/device/detail/session.h>
#include <korvan/device/laser.h>
#include <korvan/export.h>

namespace korvan::detail {

/// Switches a laser on: its line, or its pulse sequence uploaded and started. Idle or
/// Calibrating.
KORVAN_API unsigned int TurnLaserOn(Session& session, const Laser& laser);
/// Switches a laser off: its line, or its pulse sequence stopped and deleted. Idle or
/// Calibrating.
KORVAN_API unsigned int TurnLaserOff(Session& session, const Laser& laser);
/// TurnLaserOff without the state query, for callers that know a pulse sequence may run.
KORVAN_API unsigned int SwitchLaserOff(Session& session, const Laser& laser);

/// Korvan::SetLaserONOFF and SetLaserIntensity for the laser of identifier `id`.
KORVAN_API unsigned int SetLaserOnOff(Session& session, unsigned int id, int on);
KORVAN_API unsigned int SetLaserIntensity(Session& session, unsigned int id, unsigned int intensity);

}  // namespace korvan::detail
