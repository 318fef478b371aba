// Calibrates a laser against a camera: the beam visits a 4 x 4 grid of mirror positions, the
// camera finds the spot at each, and every pair is recorded. Then the table is judged, saved,
// and camera pixels are mapped to mirror positions through it.
//
// It brings its own virtual device and a virtual camera that looks at it (in this process), so
// it needs no hardware. The camera is turned by 3 degrees, has a mild lens distortion and
// finds the spot with 0.3 pixels of noise; since the camera's true mapping is known here, the
// example can show how close the calibrated mapping lands.
//
//   ./calibrate_laser [calibration.ini]
#include <korvan/korvan.h>
#include <sim/virtual_scanner.h>

#include <cmath>
#include <cstdio>

namespace {

constexpr unsigned int kGrid = 4;
constexpr unsigned int kFirst = 4000, kStep = 19178;  // mirror positions 4000 .. 61534

void PrintReport(const CalibrationQuality& q) {
    std::printf("quality of the %u-point table (grid spacing %.0f device units, %.1f pixels):\n", q.pointCount,
                q.gridSpacing, q.gridSpacingPixels);
    std::printf("  leave-one-out error: mean %.1f, max %.1f device units at point %d (%.2f / %.2f px)\n",
                q.leaveOneOutMean, q.leaveOneOutMax, q.worstPoint, q.leaveOneOutMeanPixels, q.leaveOneOutMaxPixels);
    std::printf("  affine part: %.2f x %.2f device units per pixel, rotated %.2f deg, skew %.2f deg%s\n", q.scaleX,
                q.scaleY, q.rotationDegrees, q.skewDegrees, q.mirrored ? ", mirrored" : "");
    std::printf("  largest deviation from it: %.0f device units (%.1f px) at point %d\n", q.affineMaxDeviation,
                q.affineMaxDeviationPixels, q.affineWorstPoint);
    std::printf("  folded cells: %zu; verdict: %s\n", q.foldedCells.size(), q.LooksSound() ? "sound" : "record again");
}

}  // namespace

int main(int argc, char** argv) {
    const char* file = argc > 1 ? argv[1] : "laser1-calibration.ini";
    sim::VirtualScanner device;
    std::string error;
    if (!device.Start(&error)) {
        std::printf("cannot start the virtual device: %s\n", error.c_str());
        return 1;
    }
    sim::CameraMapping mapping;
    mapping.noisePixels = 0.3;
    mapping.seed = 7;
    sim::ScannerCamera camera(device, mapping);

    Korvan scanner;
    if (scanner.Connect(device.PortName().c_str()) != 0) {
        std::printf("connect failed\n");
        return 1;
    }
    // A continuous laser on laser output 1, dimmable over the whole analog range, at 20 %.
    LaserSettings settings;
    settings.switchOnDelay = 200;
    settings.switchOffDelay = 100;
    settings.intensityDelay = 50;
    unsigned int laser = 0;
    if (scanner.AddLaser(settings, &laser) != 0 || scanner.SetLaserIntensity(laser, 2000) != 0) {
        std::printf("cannot define the laser\n");
        return 1;
    }

    unsigned int result = scanner.StartCalibration(kGrid * kGrid, laser);
    if (result != 0) {
        std::printf("StartCalibration failed with %u\n", result);
        return 1;
    }
    for (unsigned int i = 0; i < kGrid * kGrid; ++i) {
        const unsigned int x = kFirst + (i % kGrid) * kStep, y = kFirst + (i / kGrid) * kStep;
        if ((result = scanner.MoveAbsolute(x, y)) != 0) {
            std::printf("move to (%u, %u) failed with %u\n", x, y, result);
            return 1;
        }
        const sim::CameraSpot spot = camera.Look();
        if (!spot.visible) {
            std::printf("no spot at (%u, %u)\n", x, y);
            return 1;
        }
        // The device point is read back from the mirrors; the last point ends the run.
        if ((result = scanner.SetCalibrationPoint(i, RPOINTF(spot.x, spot.y))) != 0) {
            std::printf("recording point %u failed with %u\n", i, result);
            return 1;
        }
        std::printf("point %2u: mirrors (%5u, %5u) -> spot (%6.1f, %6.1f)\n", i, x, y, spot.x, spot.y);
    }
    State state = NotConnected;
    scanner.GetState(&state);
    std::printf("run ended: state %s, spot %s\n", state == Idle ? "Idle" : "not Idle",
                camera.Look().visible ? "still visible" : "gone (laser off)");

    if ((result = scanner.SaveCalibration(file, laser)) != 0) {
        std::printf("cannot save %s (%u)\n", file, result);
        return 1;
    }
    // The report reads a table: here the one just saved, as any later program would.
    Calibration saved;
    if (saved.LoadCalibration(file) != 0) {
        std::printf("cannot read %s\n", file);
        return 1;
    }
    std::printf("saved to %s\n", file);
    PrintReport(AssessCalibration(saved));

    int step = 0;
    scanner.GetLaserStepSize(laser, &step);
    std::printf("camera pixel -> device position (true position; error in scan steps of %d):\n", step);
    const double pixels[][2] = {{640, 512}, {400, 300}, {850, 700}, {300, 650}, {700, 250}};
    for (const auto& px : pixels) {
        RPOINTF mapped;
        if (scanner.GetDeviceCoordinates(RPOINTF(px[0], px[1]), &mapped, laser) != 0) return 1;
        const sim::CameraPoint truth = camera.CameraToDevice(px[0], px[1]);
        const double miss = std::hypot(mapped.x - truth.x, mapped.y - truth.y);
        std::printf("  (%4.0f, %4.0f) -> (%5.0f, %5.0f)  true (%5.0f, %5.0f)  off by %.0f = %.2f steps\n", px[0], px[1],
                    mapped.x, mapped.y, truth.x, truth.y, miss, miss / step);
    }
    scanner.RemoveLaser(laser);
    scanner.Disconnect();
    return 0;
}
