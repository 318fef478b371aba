#include <korvan/sequence/detail/shapes/step_length.h>

#include <tessel/geometry/coordinate_transformation.h>

#include <cmath>

namespace korvan::detail {

namespace {

Vector2f Truncated(Vector2f v) { return Vector2f(std::trunc(v.x), std::trunc(v.y)); }

}  // namespace

float StepLengthAt(Vector2f cameraPoint, const Calibration& calibration) {
    CalibrationPoint* table = calibration.calibrationPoints;
    const unsigned int count = calibration.pointCount;
    const Vector2f device =
        Truncated(CoordinateTransformation::TransformCameraToDeviceCoordinates(cameraPoint, table, count));
    const Vector2f step(static_cast<float>(calibration.scanStepSize), 0.0f);
    const Vector2f a = Truncated(CoordinateTransformation::TransformDeviceToCameraCoordinates(device, table, count));
    const Vector2f b =
        Truncated(CoordinateTransformation::TransformDeviceToCameraCoordinates(device + step, table, count));
    const float length = (a - b).Length();
    // Written so that NaN also falls back to 1.0.
    return length > 1.0f ? length : 1.0f;
}

}  // namespace korvan::detail
