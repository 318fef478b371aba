#pragma once
// How a virtual camera sees the virtual device's scan field: its mapping from device (mirror)
// coordinates to pixels, and what one look at the field finds. The camera itself is
// sim::VirtualCamera inside this project and sim::ScannerCamera for applications
// (sim/virtual_scanner.h).
//
// The mapping is an affine part (scale per axis, rotation, the pixel where the centre of the
// device range lands) followed by a mild radial lens distortion about that pixel, plus optional
// Gaussian noise on each look, drawn from a generator with a fixed seed so that runs repeat.
#include <sim/export.h>

#include <cstdint>

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

}  // namespace sim
