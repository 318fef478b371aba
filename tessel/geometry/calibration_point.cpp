#include <tessel/geometry/calibration_point.h>

CalibrationPoint::CalibrationPoint() = default;
CalibrationPoint::CalibrationPoint(Vector2f camera_, Vector2f device_) : camera(camera_), device(device_) {}

CalibrationPoint CalibrationPoint::Clone() const { return *this; }
