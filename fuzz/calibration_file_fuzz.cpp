// Calibration files: load; what loads must save, and the saved file must load back to the same
// table.
#include "fuzz_file.h"

#include <korvan/calibration/calibration.h>

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
    if (!(again == loaded)) __builtin_trap();
    return 0;
}
