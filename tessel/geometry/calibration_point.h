#pragma once
// One measurement of a calibration: where the camera saw the spot and where
// the device's mirrors stood.
#include <tessel/export.h>
#include <tessel/geometry/vector2f.h>

class TESSEL_API CalibrationPoint {
public:
    Vector2f camera;
    Vector2f device;

    /// All four coordinates 0.
    CalibrationPoint();
    CalibrationPoint(Vector2f camera, Vector2f device);
    CalibrationPoint(const CalibrationPoint& other) = default;
    CalibrationPoint& operator=(const CalibrationPoint& other) = default;

    CalibrationPoint Clone() const;
};
