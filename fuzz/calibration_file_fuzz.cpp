// Calibration files: load; what loads must save, and the saved file must load back to the same
// table (to the six decimals the file holds).
#include "fuzz_file.h"

#include <korvan/calibration/calibration.h>

#include <cmath>

namespace {

// The file holds six decimals, so a value written with more (0.000000535) comes back rounded
// (0.000001): up to half a unit of the sixth decimal, plus float rounding, is the same table.
bool Close(double a, double b) { return a == b || std::fabs(a - b) <= 6e-7 + std::fabs(a) * 1e-7; }

bool SameTable(const Calibration& a, const Calibration& b) {
    if (a.pointCount != b.pointCount || a.scanStepSize != b.scanStepSize) return false;
    for (unsigned int i = 0; i < a.pointCount; ++i) {
        const auto& p = a.calibrationPoints[i];
        const auto& q = b.calibrationPoints[i];
        if (!Close(p.camera.x, q.camera.x) || !Close(p.camera.y, q.camera.y) || !Close(p.device.x, q.device.x) ||
            !Close(p.device.y, q.device.y))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile file(".ini");
    static const fuzz::ScratchFile saved("_saved.ini");
    if (!fuzz::WriteFile(file.Path(), data, size)) return 0;
    Calibration loaded;
    if (loaded.LoadCalibration(file.CPath()) != 0) return 0;
    // Evaluating a loaded table in both directions must not fault whatever its points are.
    loaded.DeviceCoordinates(RPOINTF(100, 200));
    loaded.CameraCoordinates(RPOINTF(30000, 40000));
    if (loaded.SaveCalibration(saved.CPath()) != 0) __builtin_trap();
    Calibration again;
    if (again.LoadCalibration(saved.CPath()) != 0) __builtin_trap();
    if (!SameTable(again, loaded)) __builtin_trap();
    return 0;
}
