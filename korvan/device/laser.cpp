#include <korvan/device/laser.h>

#include <utility>

namespace {

constexpr unsigned int kCalibrationPoints = 16;

Calibration* CloneOf(const Calibration* calibration) { return calibration != nullptr ? calibration->Clone() : nullptr; }

// Every member but the calibration, which each caller hands over in its own way.
void CopyValues(Laser& to, const Laser& from) {
    to.id = from.id;
    to.port = from.port;
    to.switchOnDelay = from.switchOnDelay;
    to.switchOffDelay = from.switchOffDelay;
    to.intensityDelay = from.intensityDelay;
    to.minIntensity = from.minIntensity;
    to.maxIntensity = from.maxIntensity;
    to.intensity = from.intensity;
    to.pulseFrequency = from.pulseFrequency;
    to.warmUpTime = from.warmUpTime;
    to.activeLevel = from.activeLevel;
}

}  // namespace

Laser::Laser()
    : id(0),
      port(NoOutput),
      switchOnDelay(0),
      switchOffDelay(0),
      intensityDelay(0),
      minIntensity(0),
      maxIntensity(0),
      intensity(0),
      pulseFrequency(0),
      warmUpTime(0),
      calibration(new Calibration(kCalibrationPoints)),
      activeLevel(1) {}

Laser::Laser(const LaserSettings& settings) : Laser() {
    port = settings.port;
    switchOnDelay = settings.switchOnDelay;
    switchOffDelay = settings.switchOffDelay;
    intensityDelay = settings.intensityDelay;
    minIntensity = settings.minIntensity;
    maxIntensity = settings.maxIntensity;
    pulseFrequency = settings.pulseFrequency;
    activeLevel = settings.activeLevel;
    warmUpTime = settings.warmUpTime;
}

LaserSettings Laser::Settings() const {
    return {port,         switchOnDelay,  switchOffDelay, intensityDelay, minIntensity,
            maxIntensity, pulseFrequency, activeLevel,    warmUpTime};
}

Laser::Laser(const Laser& other) : calibration(CloneOf(other.calibration)) { CopyValues(*this, other); }

Laser& Laser::operator=(const Laser& other) {
    if (this == &other) return *this;
    // Clone before releasing, so a failed clone leaves this laser whole.
    Calibration* copy = CloneOf(other.calibration);
    delete calibration;
    calibration = copy;
    CopyValues(*this, other);
    return *this;
}

// Moving keeps the calibration as it is: the laser list grows and shrinks by moves, and a
// clone would truncate the points of every laser it shifts.
Laser::Laser(Laser&& other) noexcept : calibration(std::exchange(other.calibration, nullptr)) {
    CopyValues(*this, other);
}

Laser& Laser::operator=(Laser&& other) noexcept {
    if (this == &other) return *this;
    delete calibration;
    calibration = std::exchange(other.calibration, nullptr);
    CopyValues(*this, other);
    return *this;
}

Laser::~Laser() { delete calibration; }

bool Laser::operator==(const Laser& other) const {
    const bool sameCalibration = calibration == nullptr || other.calibration == nullptr
                                     ? calibration == other.calibration
                                     : *calibration == *other.calibration;
    return id == other.id && port == other.port && switchOnDelay == other.switchOnDelay &&
           switchOffDelay == other.switchOffDelay && intensityDelay == other.intensityDelay &&
           minIntensity == other.minIntensity && maxIntensity == other.maxIntensity && intensity == other.intensity &&
           pulseFrequency == other.pulseFrequency && warmUpTime == other.warmUpTime &&
           activeLevel == other.activeLevel && sameCalibration;
}

int Laser::CanChangeIntensity() const { return minIntensity < maxIntensity ? 1 : 0; }
