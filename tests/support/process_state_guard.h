#pragma once
// Gives a test the process-wide state of korvan as it found it afterwards: the laser list (empty
// for the test), the device list, the sequence table and the scan mode.
#include <korvan/device/detail/process_state.h>

#include <utility>

namespace testsupport {

class ProcessStateGuard {
public:
    // Moved, not copied: a copy of a laser truncates its calibration points.
    ProcessStateGuard() : saved_(std::move(korvan::detail::ProcessWide())) {
        auto& process = korvan::detail::ProcessWide();
        process.laserList.clear();
        process.deviceList = saved_.deviceList;
        process.sequenceTable = saved_.sequenceTable;
        process.scanMode = saved_.scanMode;
    }
    ~ProcessStateGuard() { korvan::detail::ProcessWide() = std::move(saved_); }
    ProcessStateGuard(const ProcessStateGuard&) = delete;
    ProcessStateGuard& operator=(const ProcessStateGuard&) = delete;

private:
    korvan::detail::ProcessWideState saved_;
};

}  // namespace testsupport
