#pragma once
// The calibration file: an INI file with the sections "Spot" and "Calibration".
#include <string>

class Calibration;

namespace korvan::detail {

unsigned int SaveCalibrationFile(const Calibration& calibration, const char* path);
/// Leaves `calibration` as it was on failure; `reason` (may be null) then says why.
unsigned int LoadCalibrationFile(Calibration& calibration, const char* path, std::string* reason);

}  // namespace korvan::detail
