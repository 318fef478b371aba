#include "tools/studio/camera_frame.h"

#include "preview/png_file.h"

#include <sim/device_responder.h>

#include <algorithm>
#include <cmath>

namespace tools::studio {
namespace {

constexpr double kBackground = 800;     // dark level of the sensor
constexpr double kNoiseAmplitude = 40;  // the background varies by up to this either way
constexpr double kFullPeak = 60000;     // spot peak above the background at full brightness
constexpr double kSpotSigma = 4;        // spot radius (one standard deviation), sensor pixels
constexpr double kMinimumPeak = 250;    // a spot must stand out at least this far ...
constexpr double kPeakOverNoise = 10;   // ... and this many times the background's spread
constexpr int kCentroidRadius = 16;     // image pixels around the peak that form the centroid

constexpr int kFirstLaserLine = 6;    // laser outputs 1..4 are digital lines 6..9
constexpr int kFirstLaserAnalog = 4;  // and analog channels 4..7

/// Fixed per-pixel noise: a hash of the sensor pixel, so that every frame of a region is alike and
/// the same place on the sensor looks the same at every region.
double Noise(int x, int y) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (static_cast<double>(h % 2001) / 1000.0 - 1.0) * kNoiseAmplitude;
}

}  // namespace

SpotLight LookAtSpot(sim::VirtualCamera& camera, sim::VirtualDevice& device) {
    SpotLight light;
    const sim::CameraSpot spot = camera.Look();
    if (!spot.visible) return light;
    light.lit = true;
    light.sensorX = spot.x;
    light.sensorY = spot.y;
    double brightest = -1;
    device.WithResponder<sim::DeviceResponder>([&](sim::DeviceResponder* responder) {
        if (responder == nullptr) return;
        const sim::DeviceModel& model = responder->Model();
        for (int k = 0; k < 4; ++k) {
            if (model.lineLevels[kFirstLaserLine + k] != 0)
                brightest = std::max(brightest, model.analog[kFirstLaserAnalog + k] / 65535.0);
        }
    });
    light.brightness = brightest < 0 ? 1.0 : brightest;
    return light;
}

int RegionWidth(const korvan::CameraRegion& r) {
    return r.width > 0 ? r.width : (kSensorWidth - r.left) / std::max(1, r.binning);
}

int RegionHeight(const korvan::CameraRegion& r) {
    return r.height > 0 ? r.height : (kSensorHeight - r.top) / std::max(1, r.binning);
}

korvan::CameraRegion Sized(korvan::CameraRegion region) {
    region.width = RegionWidth(region);
    region.height = RegionHeight(region);
    return region;
}

bool OnSensor(const korvan::CameraRegion& r) {
    if (r.binning < 1 || r.binning > 16 || r.left < 0 || r.top < 0 || r.width < 0 || r.height < 0) return false;
    const long w = RegionWidth(r), h = RegionHeight(r);
    return w >= 1 && h >= 1 && r.left + w * r.binning <= kSensorWidth && r.top + h * r.binning <= kSensorHeight;
}

GrayFrame RenderFrame(const korvan::CameraRegion& region, const SpotLight& light) {
    GrayFrame frame;
    frame.width = RegionWidth(region);
    frame.height = RegionHeight(region);
    frame.pixels.resize(static_cast<size_t>(frame.width) * frame.height);
    const double b = std::max(1, region.binning);
    const double peak = light.lit ? kFullPeak * std::clamp(light.brightness, 0.0, 1.0) : 0;
    // The spot's centre in image pixels; binning narrows it by the binning factor.
    const RPOINTF centre = region.FromSensor(RPOINTF(light.sensorX, light.sensorY));
    const double sigma = kSpotSigma / b;
    const int reach = static_cast<int>(std::ceil(6 * sigma));
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            double v = kBackground + Noise(region.left + x * region.binning, region.top + y * region.binning);
            const double dx = x - centre.x, dy = y - centre.y;
            if (peak > 0 && std::fabs(dx) <= reach && std::fabs(dy) <= reach)
                v += peak * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            frame.pixels[static_cast<size_t>(y) * frame.width + x] =
                static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
        }
    }
    return frame;
}

FoundSpot FindSpot(const GrayFrame& frame) {
    FoundSpot spot;
    if (frame.pixels.empty()) {
        spot.why = "the frame is empty";
        return spot;
    }
    // Background and its spread from a sample of the frame: the spot covers a tiny share of it, so
    // the median and the median absolute deviation ignore it.
    std::vector<double> sample;
    const size_t step = std::max<size_t>(1, frame.pixels.size() / 20000);
    for (size_t i = 0; i < frame.pixels.size(); i += step) sample.push_back(frame.pixels[i]);
    const auto middle = sample.begin() + static_cast<long>(sample.size() / 2);
    std::nth_element(sample.begin(), middle, sample.end());
    spot.background = *middle;
    for (double& v : sample) v = std::fabs(v - spot.background);
    std::nth_element(sample.begin(), middle, sample.end());
    spot.noise = std::max(1.0, *middle * 1.4826);

    const auto brightest = std::max_element(frame.pixels.begin(), frame.pixels.end());
    const long at = brightest - frame.pixels.begin();
    const int px = static_cast<int>(at % frame.width), py = static_cast<int>(at / frame.width);
    spot.peak = *brightest - spot.background;
    const double needed = std::max(kMinimumPeak, kPeakOverNoise * spot.noise);
    if (spot.peak < needed) {
        spot.why = "no spot bright enough to find: the brightest pixel stands " +
                   std::to_string(std::lround(spot.peak)) + " above the background, " +
                   std::to_string(std::lround(needed)) + " are needed";
        return spot;
    }
    // Centroid of what rises above the noise around the peak; the cut-off is the same on every
    // side, so it does not pull the centre.
    const double floor = spot.background + 3 * spot.noise;
    double sum = 0, sx = 0, sy = 0;
    for (int y = std::max(0, py - kCentroidRadius); y <= std::min(frame.height - 1, py + kCentroidRadius); ++y) {
        for (int x = std::max(0, px - kCentroidRadius); x <= std::min(frame.width - 1, px + kCentroidRadius); ++x) {
            const double w = frame.At(x, y) - floor;
            if (w <= 0) continue;
            sum += w, sx += w * x, sy += w * y;
        }
    }
    spot.found = true;
    spot.x = sx / sum;
    spot.y = sy / sum;
    return spot;
}

std::string FramePng(const GrayFrame& frame, double black, double white) {
    std::vector<unsigned char> rgb(frame.pixels.size() * 3);
    const double span = white > black ? white - black : 1;
    for (size_t i = 0; i < frame.pixels.size(); ++i) {
        const double v = std::clamp((frame.pixels[i] - black) / span, 0.0, 1.0);
        const auto g = static_cast<unsigned char>(std::lround(v * 255));
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = g;
    }
    return preview::EncodeRgbPng(frame.width, frame.height, rgb.data());
}

}  // namespace tools::studio
