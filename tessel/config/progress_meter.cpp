#include <tessel/config/progress_meter.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessel {
namespace {

constexpr int kBarWidth = 24;
// Shorter than this, a rate would be a guess from the first block or two.
constexpr double kMeasurableSeconds = 0.25;

double Seconds(ProgressMeter::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

ProgressMeter::ProgressMeter(double redrawsPerSecond)
    : interval_(std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(redrawsPerSecond > 0 ? 1.0 / redrawsPerSecond : 0.0))) {}

bool ProgressMeter::Update(long long done, long long total, Clock::time_point now) {
    if (done < done_ || total != total_) {
        start_ = now;
        drawn_ = false;
    }
    done_ = done;
    total_ = total;
    now_ = now;
    const bool due = !drawn_ || done >= total || now - lastDrawn_ >= interval_;
    if (due) {
        lastDrawn_ = now;
        drawn_ = true;
    }
    return due;
}

std::string ProgressMeter::Line(const std::string& label) const {
    const long long total = std::max(1LL, total_);
    const long long done = std::clamp(done_, 0LL, total);
    const int filled = static_cast<int>(done * kBarWidth / total);
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(done * 100 / total));
    std::string line = label + " [" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] " + percent;
    const double elapsed = Seconds(now_ - start_);
    if (elapsed >= kMeasurableSeconds && done > 0) {
        const double rate = done / elapsed;
        line += "  " + FormatRate(rate);
        if (done < total) line += "  " + FormatTimeLeft((total - done) / rate) + " left";
    }
    return line;
}

std::string FormatRate(double bytesPerSecond) {
    static const char* const kUnits[] = {"B/s", "kB/s", "MB/s", "GB/s"};
    double v = std::max(0.0, bytesPerSecond);
    size_t unit = 0;
    while (v >= 1000 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
        v /= 1000;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, unit == 0 ? "%.0f %s" : "%.3g %s", v, kUnits[unit]);
    return buf;
}

std::string FormatTimeLeft(double seconds) {
    if (!(seconds >= 1)) return "less than 1 s";
    const long long s = std::llround(seconds);
    char buf[48];
    if (s < 60)
        std::snprintf(buf, sizeof buf, "%lld s", s);
    else if (s < 3600)
        std::snprintf(buf, sizeof buf, "%lld min %lld s", s / 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld h %lld min", s / 3600, s % 3600 / 60);
    return buf;
}

}  // namespace tessel
