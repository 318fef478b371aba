#pragma once
// The calibration file: an INI file with the sections "Spot" and "Calibration".
class Calibration;

namespace korvan::detail {

unsigned int SaveCalibrationFile(const Calibration& calibration, const char* path);
unsigned int LoadCalibrationFile(Calibration& calibration, const char* path);

}  // namespace korvan::detail
