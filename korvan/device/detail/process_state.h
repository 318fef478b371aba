#pragma once
// Process-wide state of korvan: shared by all Korvan objects, alive from library load to
// unload, and not synchronised (one thread at a time, as the interface documents). The keep-alive
// stop flag is the exception: the poller thread reads it while its starter sets it.
#include <korvan/device/device_info.h>
#include <korvan/device/laser.h>
#include <korvan/device/sequence_memory_info.h>
#include <korvan/export.h>

#include <atomic>
#include <vector>

namespace korvan::detail {

inline constexpr unsigned int kDefaultScanLead = 100;
inline constexpr unsigned int kShortScanLead = 14;

struct ProcessWideState {
    /// Devices found by the last Search, in the order found.
    std::vector<DeviceInfo> deviceList;
    /// Defined lasers in order of addition; the list owns them and their calibrations.
    std::vector<Laser> laserList;
    /// Stored sequences as read by the last GetSequenceCount.
    std::vector<SequenceMemoryInfo> sequenceTable;
    /// Scan lead of compiled sequences, in ticks (SetScanMode).
    unsigned int scanLead = kDefaultScanLead;
    /// Tells the running keep-alive poller to end.
    std::atomic<bool> keepAliveStop{false};
};

/// The one instance of the process-wide state.
KORVAN_API ProcessWideState& ProcessWide();

}  // namespace korvan::detail
