#pragma once
// Pictures of the virtual camera and the spot in them: what the studio shows as the live image and
// what a calibration run measures, so that both see the same frame.
//
//   const SpotLight light = LookAtSpot(camera, device);        // where, and how bright
//   const GrayFrame frame = RenderFrame(region, light);       // dark, with a Gaussian spot
//   const FoundSpot spot = FindSpot(frame);                   // image pixels, or not found
#include <korvan/calibration/camera_region.h>
#include <sim/virtual_camera.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tools::studio {

/// The virtual camera's sensor, in sensor pixels.
constexpr int kSensorWidth = 1280;
constexpr int kSensorHeight = 1024;

/// A 16-bit grayscale image, rows top down.
struct GrayFrame {
    int width = 0, height = 0;
    std::vector<std::uint16_t> pixels;
    std::uint16_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

/// What the camera sees of the beam: whether a laser is lit, where (full-sensor pixels) and how
/// bright (0..1, the lit laser's analog level as a share of full scale).
struct SpotLight {
    bool lit = false;
    double sensorX = 0, sensorY = 0;
    double brightness = 0;
};

/// Looks at the virtual device now: the camera's spot and the brightest lit laser's analog level
/// (a lit laser without a level of its own, such as a pulsed one, counts as full brightness).
SpotLight LookAtSpot(sim::VirtualCamera& camera, sim::VirtualDevice& device);

/// The image size a region gives: its width and height, or, when 0, what is left of the sensor
/// from its origin at its binning.
int RegionWidth(const korvan::CameraRegion& region);
int RegionHeight(const korvan::CameraRegion& region);
/// A region's with its size filled in (RegionWidth, RegionHeight).
korvan::CameraRegion Sized(korvan::CameraRegion region);
/// True when the region lies on the sensor with binning 1..16 and at least one image pixel.
bool OnSensor(const korvan::CameraRegion& region);

/// Renders the camera's frame at `region`: a dark background with a little noise that is the same
/// on every frame, plus, when the beam is lit, a Gaussian spot whose peak grows with its
/// brightness. Binning averages the sensor pixels, so the spot keeps its peak and narrows.
GrayFrame RenderFrame(const korvan::CameraRegion& region, const SpotLight& light);

/// A spot found on a frame.
struct FoundSpot {
    bool found = false;
    double x = 0, y = 0;               ///< intensity-weighted centroid, image pixels
    double peak = 0;                   ///< brightest pixel above the background
    double background = 0, noise = 0;  ///< the frame's median and its spread
    std::string why;                   ///< when not found: why, in a sentence
};

/// Finds the one bright spot on a frame: the brightest pixel must stand out of the background by
/// many times its noise (and by a fixed minimum), else the spot is "not found", never guessed;
/// the position is the centroid of the pixels around it that rise clearly above the background.
FoundSpot FindSpot(const GrayFrame& frame);

/// An 8-bit PNG of a frame, mapping `black`..`white` to 0..255.
std::string FramePng(const GrayFrame& frame, double black, double white);

}  // namespace tools::studio
