#include <korvan/device/korvan.h>

// While a calibration runs, moves and Stop hand the calibration laser to the laser switching
// operations. Those (and the calibration that sets `state` to Calibrating) are not part of the
// library yet, so nothing can be switched: say so instead of pretending it worked.

unsigned int Korvan::CalibrationLaserOff() { return korvan::ResultNotPossibleNow; }

unsigned int Korvan::CalibrationLaserRestore() { return korvan::ResultNotPossibleNow; }

unsigned int Korvan::CalibrationLaserOn() { return korvan::ResultNotPossibleNow; }
