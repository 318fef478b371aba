#pragma once
// The numbers that drive a laser outside a sequence: the analog level of an intensity and the
// start tick of a pulsed laser's pulse sequence.
#include <korvan/device/laser.h>

#include <cmath>

namespace korvan::detail {

/// Intensities are hundredths of a percent: 10000 is full intensity.
inline constexpr unsigned int kMaxIntensity = 10000;

/// The analog value for `intensity` (0..10000) within the laser's range. Both steps truncate:
/// first to the range's hundredths of a percent, then to the 16-bit full scale.
inline unsigned short AnalogLevelFor(const Laser& laser, unsigned int intensity) {
    const double span = static_cast<double>(laser.maxIntensity) - static_cast<double>(laser.minIntensity);
    const double level = std::trunc(span / kMaxIntensity * intensity + laser.minIntensity);
    return static_cast<unsigned short>(std::trunc(level * 6.5535));
}

/// The tick of the one pulse in a pulsed laser's sequence: its period in whole microseconds,
/// rounded up to ticks. The sequence repeats until stopped, so this sets the pulse rate.
inline unsigned int PulseStartTick(unsigned int pulseFrequency, unsigned int tickTime) {
    const unsigned int periodUs = 1000000u / pulseFrequency;
    return periodUs / tickTime + (periodUs % tickTime != 0 ? 1u : 0u);
}

}  // namespace korvan::detail
