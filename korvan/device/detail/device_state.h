#pragma once
// The state query and what is built on it: required states, errors, acknowledge, stop, reset.
#include <korvan/device/detail/calibration_hooks.h>
#include <korvan/device/detail/session.h>
#include <korvan/export.h>

#include <initializer_list>

namespace korvan::detail {

/// Queries the device into `*out` (see Korvan::GetState). The cached state is only read, for the
/// calibration it keeps; a failed query closes the port.
KORVAN_API unsigned int QueryState(Session& session, State* out, unsigned int* sequenceCounter,
                                   unsigned short* statusWord);
/// Queries the device into the cached state.
KORVAN_API unsigned int RefreshState(Session& session);
/// Refreshes the cached state and maps it to 0, 1 (not connected) or 5 (not one of `accepted`).
KORVAN_API unsigned int RequireState(Session& session, std::initializer_list<State> accepted);
/// The collected error bits after a fresh query.
KORVAN_API unsigned char CollectDeviceErrors(Session& session);
KORVAN_API unsigned int ClearDeviceErrors(Session& session);
KORVAN_API unsigned int AcknowledgeWaitForUser(Session& session);
KORVAN_API unsigned int ResetDevice(Session& session);
/// The stop command alone, without a state query.
KORVAN_API unsigned int StopSequence(Session& session);
/// Ends whatever runs: a sequence is stopped, a calibration run ended through `calibration`.
KORVAN_API unsigned int Stop(Session& session, CalibrationHooks& calibration);
KORVAN_API unsigned int DeleteAllSequences(Session& session);

}  // namespace korvan::detail
