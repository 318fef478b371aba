#pragma once
// Gives a test an empty process-wide laser list and puts the previous one back afterwards.
#include <korvan/device/detail/process_state.h>

#include <utility>
#include <vector>

namespace devicetest {

class LaserListGuard {
public:
    // Moved, not copied: a copy of a laser truncates its calibration points.
    LaserListGuard() : saved_(std::move(korvan::detail::ProcessWide().laserList)) {
        korvan::detail::ProcessWide().laserList.clear();
    }
    ~LaserListGuard() { korvan::detail::ProcessWide().laserList = std::move(saved_); }
    LaserListGuard(const LaserListGuard&) = delete;
    LaserListGuard& operator=(const LaserListGuard&) = delete;

private:
    std::vector<Laser> saved_;
};

}  // namespace devicetest
