#pragma once
// Process-wide state of korvan: shared by all Korvan objects, alive from library load to
// unload, and not synchronised (one thread at a time, as the interface documents). Only what the
// interface makes process-wide lives here; the compiler and the keep-alive poller keep nothing.
#include <korvan/device/device_info.h>
#include <korvan/device/device_types.h>
#include <korvan/device/laser.h>
#include <korvan/device/sequence_memory_info.h>
#include <korvan/export.h>

#include <vector>

namespace korvan::detail {

struct ProcessWideState {
    /// Devices found by the last Search, in the order found.
    std::vector<DeviceInfo> deviceList;
    /// Defined lasers in order of addition; the list owns them and their calibrations.
    std::vector<Laser> laserList;
    /// Stored sequences as read by the last GetSequenceCount.
    std::vector<SequenceMemoryInfo> sequenceTable;
    /// The scan lead of compiled sequences, as a mode (SetScanMode): process-wide because the
    /// interface makes it so; the compiler sees it only through the settings Korvan builds.
    ScanMode scanMode = ScanModeDefault;
};

/// The one instance of the process-wide state.
KORVAN_API ProcessWideState& ProcessWide();

}  // namespace korvan::detail
