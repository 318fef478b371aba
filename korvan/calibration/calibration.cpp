#include <korvan/calibration/calibration.h>

#include <korvan/calibration/detail/calibration_file.h>
#include <korvan/calibration/detail/coordinate_rules.h>
#include <korvan/device/result_codes.h>
#include <tessel/geometry/coordinate_transformation.h>

#include <algorithm>
#include <cmath>
#include <new>

namespace {

using korvan::detail::IsCameraCoordinate;
using korvan::detail::IsDeviceCoordinate;
using korvan::detail::kDeviceMax;

constexpr unsigned int kDefaultPoints = 16;
constexpr unsigned int kDefaultStepSize = 100;

bool IsGridCount(unsigned int count) {
    if (count == 3) return true;
    double root = std::sqrt(static_cast<double>(count));
    return count != 0 && std::floor(root) == root;
}

// Truncation toward zero, kept in double so that out-of-range values cannot overflow an int.
double Truncate(double v) { return std::trunc(v); }

}  // namespace

Calibration::Calibration() : scanStepSize(kDefaultStepSize), pointCount(0), calibrationPoints(nullptr) {
    Init(kDefaultPoints);
}

Calibration::Calibration(unsigned int count)
    : scanStepSize(kDefaultStepSize), pointCount(0), calibrationPoints(nullptr) {
    if (Init(count) != 0) Init(kDefaultPoints);
}

Calibration::Calibration(const Calibration& other)
    : scanStepSize(other.scanStepSize),
      pointCount(other.pointCount),
      calibrationPoints(new CalibrationPoint[other.pointCount]) {
    for (unsigned int i = 0; i < pointCount; ++i) calibrationPoints[i] = other.calibrationPoints[i];
}

Calibration::~Calibration() { delete[] calibrationPoints; }

Calibration& Calibration::operator=(const Calibration& other) {
    if (this == &other) return *this;
    auto* points = new CalibrationPoint[other.pointCount];
    for (unsigned int i = 0; i < other.pointCount; ++i) points[i] = other.calibrationPoints[i];
    delete[] calibrationPoints;
    calibrationPoints = points;
    pointCount = other.pointCount;
    scanStepSize = other.scanStepSize;
    return *this;
}

bool Calibration::operator==(const Calibration& other) const {
    if (pointCount != other.pointCount || scanStepSize != other.scanStepSize) return false;
    for (unsigned int i = 0; i < pointCount; ++i) {
        if (!(calibrationPoints[i].camera == other.calibrationPoints[i].camera)) return false;
        if (!(calibrationPoints[i].device == other.calibrationPoints[i].device)) return false;
    }
    return true;
}

Calibration* Calibration::Clone() const {
    auto* copy = new Calibration(pointCount);
    copy->scanStepSize = scanStepSize;
    for (unsigned int i = 0; i < pointCount && i < copy->pointCount; ++i) {
        const CalibrationPoint& p = calibrationPoints[i];
        // Device positions are whole mirror steps. Camera points keep their measured sub-pixel
        // value: cutting it to whole pixels would shift every mapped point by half a pixel.
        // A camera value just below 0 (above -1) counts as 0, as truncation made it before.
        const double cx = std::max(0.0, static_cast<double>(p.camera.x));
        const double cy = std::max(0.0, static_cast<double>(p.camera.y));
        const double dx = Truncate(p.device.x), dy = Truncate(p.device.y);
        if (!(p.camera.x > -1.0f && p.camera.y > -1.0f && IsCameraCoordinate(cx) && IsCameraCoordinate(cy) &&
              IsDeviceCoordinate(dx) && IsDeviceCoordinate(dy)))
            continue;
        copy->calibrationPoints[i] = CalibrationPoint(Vector2f(static_cast<float>(cx), static_cast<float>(cy)),
                                                      Vector2f(static_cast<float>(dx), static_cast<float>(dy)));
    }
    return copy;
}

unsigned int Calibration::Init(unsigned int count) {
    if (!IsGridCount(count)) return korvan::ResultInvalidArgument;
    auto* points = new (std::nothrow) CalibrationPoint[count];
    if (points == nullptr) return korvan::ResultInvalidArgument;
    double r = std::sqrt(static_cast<double>(count));
    auto k = static_cast<unsigned int>(r);
    for (unsigned int i = 0; i < count; ++i) {
        // A single point has no grid spacing; it sits at the origin until it is set.
        double x = r > 1.0 ? Truncate((i % k) / (r - 1.0) * kDeviceMax) : 0.0;
        double y = r > 1.0 ? Truncate((i / k) * kDeviceMax / (r - 1.0)) : 0.0;
        Vector2f v(static_cast<float>(x), static_cast<float>(y));
        points[i] = CalibrationPoint(v, v);
    }
    delete[] calibrationPoints;
    calibrationPoints = points;
    pointCount = count;
    return korvan::ResultSuccess;
}

unsigned int Calibration::SetCalibrationPoint(unsigned int index, RPOINTF camera, RPOINTF device) {
    if (index >= pointCount) return korvan::ResultInvalidArgument;
    if (!IsCameraCoordinate(camera.x) || !IsCameraCoordinate(camera.y)) return korvan::ResultInvalidArgument;
    if (!IsDeviceCoordinate(device.x) || !IsDeviceCoordinate(device.y)) return korvan::ResultInvalidArgument;
    calibrationPoints[index] = CalibrationPoint(Vector2f(static_cast<float>(camera.x), static_cast<float>(camera.y)),
                                                Vector2f(static_cast<float>(device.x), static_cast<float>(device.y)));
    return korvan::ResultSuccess;
}

RPOINTF Calibration::DeviceCoordinates(RPOINTF camera) {
    Vector2f v = CoordinateTransformation::TransformCameraToDeviceCoordinates(
        Vector2f(static_cast<float>(camera.x), static_cast<float>(camera.y)), calibrationPoints, pointCount);
    return RPOINTF(Truncate(v.x), Truncate(v.y));
}

RPOINTF Calibration::CameraCoordinates(RPOINTF device) {
    Vector2f v = CoordinateTransformation::TransformDeviceToCameraCoordinates(
        Vector2f(static_cast<float>(device.x), static_cast<float>(device.y)), calibrationPoints, pointCount);
    return RPOINTF(Truncate(v.x), Truncate(v.y));
}

unsigned int Calibration::SaveCalibration(const char* path) { return korvan::detail::SaveCalibrationFile(*this, path); }

unsigned int Calibration::LoadCalibration(const char* path) {
    return korvan::detail::LoadCalibrationFile(*this, path, nullptr);
}
