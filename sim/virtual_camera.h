#pragma once
// A camera looking at the virtual device's scan field: where the beam spot appears in its image.
//
//   sim::VirtualDevice device;  device.Start();
//   sim::VirtualCamera camera(device);          // the default mapping (camera_mapping.h)
//   sim::CameraSpot spot = camera.Look();       // visible only while a laser is on
//
// The spot is visible while a laser line is
// at its active level, and while a running sequence pulses a laser line (a pulsed laser's pulse
// sequence). The camera reads the device's state under the device's lock; it may be used from
// any one thread.
#include <sim/camera_mapping.h>
#include <sim/virtual_device.h>

#include <array>
#include <cstdint>
#include <random>

namespace sim {

class VirtualCamera {
public:
    explicit VirtualCamera(VirtualDevice& device, CameraMapping mapping = {});

    /// Sets the level that lights the laser on laser output 1..4 (active high by default); a
    /// laser with active level 0 lights while its line is low.
    void SetActiveLevel(int laserOutput, int level);

    /// Where the spot is now: the mirrors' position through the mapping, if a laser is on.
    CameraSpot Look();

    /// The mapping itself, without noise.
    CameraPoint DeviceToCamera(double x, double y) const;
    /// Its inverse: the device position whose spot lands on pixel (x, y).
    CameraPoint CameraToDevice(double x, double y) const;

    const CameraMapping& Mapping() const { return mapping_; }

private:
    VirtualDevice& device_;
    CameraMapping mapping_;
    std::array<std::uint8_t, 4> activeLevels_{1, 1, 1, 1};
    std::mt19937 random_;
};

}  // namespace sim
