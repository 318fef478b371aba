#pragma once
// Laser: one light source on a laser output of the device, as defined by Korvan::AddLaser.
#include <korvan/calibration/calibration.h>
#include <korvan/device/device_types.h>
#include <korvan/device/laser_settings.h>
#include <korvan/export.h>

/// A laser definition. Korvan::AddLaser creates these in the process-wide laser list and
/// assigns `id`; sequence elements and the calibration operations refer to a laser by it.
///
/// A Laser owns its `calibration` and deletes it when destroyed. Copying gives the copy its own
/// calibration through Calibration::Clone (which truncates the points to integers), so a copy
/// compares equal to its source only when the source's points are integral.
struct KORVAN_API Laser {
    unsigned int id;              ///< identifier, assigned by AddLaser
    OutputPorts port;             ///< NoOutput or LaserOutput1..LaserOutput4
    unsigned int switchOnDelay;   ///< microseconds the laser needs after its line is switched on
    unsigned int switchOffDelay;  ///< microseconds after its line is switched off
    unsigned int intensityDelay;  ///< microseconds an intensity change needs
    unsigned int minIntensity;    ///< analog level of intensity 0, hundredths of a percent (0..10000)
    unsigned int maxIntensity;    ///< analog level of intensity 10000 (minIntensity..10000)
    unsigned int intensity;       ///< the intensity last set, 0..10000
    unsigned int pulseFrequency;  ///< pulses per second; 0 for a continuous laser
    unsigned int warmUpTime;      ///< microseconds
    Calibration* calibration;     ///< owned; its scan step size is the laser's step size
    int activeLevel;              ///< line level that switches the laser on (1 or 0)

    /// A continuous laser on no output: a 16-point identity calibration with step size 100,
    /// active level 1, every number 0.
    Laser();
    /// As Laser(), with the fields of `settings` (id and intensity 0, the identity calibration).
    explicit Laser(const LaserSettings& settings);
    /// Copies every member; the copy owns a Clone of the calibration.
    Laser(const Laser& other);
    /// Copies every member; this laser's calibration is replaced by a Clone of the other's.
    Laser& operator=(const Laser& other);
    /// Takes over the other's calibration without cloning; `other` is left without one.
    Laser(Laser&& other) noexcept;
    Laser& operator=(Laser&& other) noexcept;
    ~Laser();

    /// True when every member is equal, the calibrations compared by content.
    bool operator==(const Laser& other) const;
    bool operator!=(const Laser& other) const { return !(*this == other); }

    /// 1 when the intensity can be set (minIntensity below maxIntensity), else 0: such a laser
    /// is driven by its line alone.
    int CanChangeIntensity() const;
    /// The fields AddLaser took: defining a laser with them gives one like this, without its
    /// identifier, intensity and calibration.
    LaserSettings Settings() const;

    // The laser's line levels and kind: every switching rule (direct switching, compiled
    // sequences, output defaults) asks these instead of reading activeLevel or pulseFrequency.

    /// The line level that switches the laser on: activeLevel.
    int OnLevel() const { return activeLevel; }
    /// The line level that keeps the laser dark: 1 for an active-low laser (activeLevel 0), else 0.
    int OffLevel() const { return activeLevel == 0 ? 1 : 0; }
    /// True for a pulsed laser (pulseFrequency not 0): it lights through a pulse train on its
    /// line, never through a steady level.
    bool IsPulsed() const { return pulseFrequency != 0; }
};
