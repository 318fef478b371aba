#include <korvan/calibration/camera_region.h>

namespace korvan {

bool CameraRegion::operator==(const CameraRegion& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height && binning == o.binning;
}

// Centre-to-centre: image pixel u (centre u + 0.5) covers sensor pixels left + u * b up to
// left + u * b + b - 1, whose centre is at left + (u + 0.5) * b.
RPOINTF CameraRegion::ToSensor(RPOINTF image) const {
    const double b = binning > 0 ? binning : 1;
    return RPOINTF(left + (image.x + 0.5) * b - 0.5, top + (image.y + 0.5) * b - 0.5);
}

RPOINTF CameraRegion::FromSensor(RPOINTF sensor) const {
    const double b = binning > 0 ? binning : 1;
    return RPOINTF((sensor.x - left + 0.5) / b - 0.5, (sensor.y - top + 0.5) / b - 0.5);
}

RPOINTF ConvertCameraPoint(const CameraRegion& from, const CameraRegion& to, RPOINTF point) {
    return to.FromSensor(from.ToSensor(point));
}

}  // namespace korvan
