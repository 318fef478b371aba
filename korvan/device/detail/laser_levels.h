#pragma once
// The numbers that drive a laser: the analog level of an intensity, set directly or from a
// compiled sequence (two rules side by side, because the device takes them in different units),
// and the start tick of a pulsed laser's pulse sequence.
#include <korvan/device/laser.h>

#include <cmath>

namespace korvan::detail {

/// Intensities are hundredths of a percent: 10000 is full intensity.
inline constexpr unsigned int kMaxIntensity = 10000;

/// The analog value sent directly (SetLaserIntensity, calibration runs) for `intensity`
/// (0..10000) within the laser's range. Both steps truncate: first to the range's hundredths of a
/// percent, then to the 16-bit full scale of the direct analog command. Inside a sequence the
/// device takes hundredths of a percent instead: see SequenceAnalogLevel.
inline unsigned short AnalogLevelFor(const Laser& laser, unsigned int intensity) {
    const double span = static_cast<double>(laser.maxIntensity) - static_cast<double>(laser.minIntensity);
    const double level = std::trunc(span / kMaxIntensity * intensity + laser.minIntensity);
    return static_cast<unsigned short>(std::trunc(level * 6.5535));
}

/// The analog level a compiled sequence sets for `intensity` (0..10000): hundredths of a percent
/// within the laser's range, truncated once; the sequence action carries no 16-bit scaling. Outside
/// a sequence see AnalogLevelFor.
inline unsigned int SequenceAnalogLevel(const Laser& laser, unsigned int intensity) {
    const double span = static_cast<double>(laser.maxIntensity - laser.minIntensity) / 10000.0;
    return static_cast<unsigned int>(laser.minIntensity + span * intensity);
}

/// The tick of the one pulse in a pulsed laser's sequence: its period in whole microseconds,
/// rounded up to ticks. The sequence repeats until stopped, so this sets the pulse rate.
inline unsigned int PulseStartTick(unsigned int pulseFrequency, unsigned int tickTime) {
    const unsigned int periodUs = 1000000u / pulseFrequency;
    return periodUs / tickTime + (periodUs % tickTime != 0 ? 1u : 0u);
}

}  // namespace korvan::detail
