#pragma once
// A camera looking at the virtual device's scan field: where the beam spot appears in its image.
//
//   sim::VirtualDevice device;  device.Start();
//   sim::VirtualCamera camera(device);          // the default mapping below
//   sim::CameraSpot spot = camera.Look();       // visible only while a laser is on
//
// The mapping from device (mirror) coordinates to camera pixels is an affine part (scale per
// axis, rotation, the pixel where the centre of the device range lands) followed by a mild
// radial lens distortion about that pixel, plus optional Gaussian noise on each look, drawn from
// a generator with a fixed seed so that runs repeat. The spot is visible while a laser line is
// at its active level, and while a running sequence pulses a laser line (a pulsed laser's pulse
// sequence). The camera reads the device's state under the device's lock; it may be used from
// any one thread.
#include <sim/virtual_device.h>

#include <array>
#include <cstdint>
#include <random>

namespace sim {

struct CameraMapping {
    /// Camera pixels per device unit along the device's x and y axes.
    double scaleX = 0.0125;
    double scaleY = 0.0125;
    /// Angle of the device's x axis in the image, counter-clockwise in degrees.
    double rotationDegrees = 3;
    /// The pixel where the centre of the device range (32767.5, 32767.5) lands.
    double centerX = 640;
    double centerY = 512;
    /// Radial distortion: a point at `distortionRadius` pixels from the centre moves outwards by
    /// this share of its distance (negative: inwards); growing with the square of the distance.
    double distortion = 0.005;
    double distortionRadius = 512;
    /// Standard deviation of the noise on each look, in pixels; 0 for none.
    double noisePixels = 0;
    std::uint32_t seed = 1;
};

struct CameraPoint {
    double x = 0, y = 0;
};

/// What one look sees.
struct CameraSpot {
    bool visible = false;  ///< a laser is on
    double x = 0, y = 0;   ///< the spot's pixel (with noise) when visible
};

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
