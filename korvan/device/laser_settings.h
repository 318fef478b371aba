#pragma once
// LaserSettings: what Korvan::AddLaser needs to define a laser, by name.
#include <korvan/device/device_types.h>

/// The definition of a laser as Korvan::AddLaser takes it. The fields carry the names of the
/// matching Laser fields (<korvan/device/laser.h>); Laser::Settings gives them back for a defined
/// laser. The defaults define a working laser: continuous, active high, on LaserOutput1, without
/// delays, its intensity controllable over the whole analog range. The fields keep their order,
/// so a brace list in this order stays valid.
///
///   LaserSettings settings;
///   settings.switchOnDelay = 200;
///   unsigned int id = 0;
///   korvan.AddLaser(settings, &id);
struct LaserSettings {
    /// NoOutput or LaserOutput1..LaserOutput4; no other laser may have it.
    OutputPorts port = LaserOutput1;
    /// Microseconds the laser needs after its line is switched on.
    unsigned int switchOnDelay = 0;
    /// Microseconds after its line is switched off.
    unsigned int switchOffDelay = 0;
    /// Microseconds an intensity change needs.
    unsigned int intensityDelay = 0;
    /// Analog levels of intensity 0 and 10000, hundredths of a percent (0..10000, min not above
    /// max). Equal values: no intensity control, the line alone drives the laser.
    unsigned int minIntensity = 0;
    unsigned int maxIntensity = 10000;
    /// Pulses per second; 0 for a continuous laser.
    unsigned int pulseFrequency = 0;
    /// Line level that switches the laser on: 1 (active high) or 0 (active low); AddLaser refuses
    /// any other value.
    int activeLevel = 1;
    /// Microseconds.
    unsigned int warmUpTime = 0;
};
