#pragma once
// The text of a progress line for a transfer of known size: the bar, the percentage, the rate
// and the time left, redrawn at most a few times a second however often the transfer reports.
#include <tessel/export.h>

#include <chrono>
#include <string>

namespace tessel {

class TESSEL_API ProgressMeter {
public:
    using Clock = std::chrono::steady_clock;

    /// At most `redrawsPerSecond` lines are due each second (the first and the last always are).
    explicit ProgressMeter(double redrawsPerSecond = 10);

    /// Takes a report of `done` of `total` units at `now` and says whether a line is due. A
    /// report with less done than the one before, or another total, starts a new transfer.
    bool Update(long long done, long long total, Clock::time_point now = Clock::now());

    /// "upload [########............]  40%  1.25 MB/s  3 s left" for the last report; the rate
    /// and time left appear once the transfer has run long enough to measure them.
    std::string Line(const std::string& label) const;

private:
    Clock::duration interval_;
    Clock::time_point start_{}, lastDrawn_{}, now_{};
    long long done_ = -1, total_ = -1;
    bool drawn_ = false;
};

/// "512 B/s", "1.25 kB/s", "3.4 MB/s" (decimal units).
TESSEL_API std::string FormatRate(double bytesPerSecond);
/// "less than 1 s", "42 s", "3 min 5 s", "2 h 10 min".
TESSEL_API std::string FormatTimeLeft(double seconds);

}  // namespace tessel
