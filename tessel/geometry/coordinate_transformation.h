#pragma once
// Piecewise affine mapping between camera and device coordinates through a
// table of CalibrationPoint pairs.
//
// The table holds exactly 3 entries (one affine map for the whole plane) or
// n*n entries (n >= 2) measured on a grid in row-major order: entry k + 1 is
// the right-hand neighbour of entry k, entry k + n the one in the next row,
// in the coordinate system mapped from. For a point the mapping takes the
// nearest entry and its neighbours along row and column toward the point,
// and applies the affine map that takes those three exactly; points outside
// the grid extrapolate linearly from the border entries.
#include <tessel/export.h>
#include <tessel/geometry/calibration_point.h>
#include <tessel/geometry/vector2f.h>

class TESSEL_API CoordinateTransformation {
public:
    CoordinateTransformation() = default;

    /// Device coordinates of a camera point. A table of another size, or a
    /// null table, gives (0, 0). The table is only read.
    static Vector2f TransformCameraToDeviceCoordinates(Vector2f point, CalibrationPoint* table, unsigned int count);

    /// Camera coordinates of a device point; the same rules with the roles of
    /// the two fields exchanged.
    static Vector2f TransformDeviceToCameraCoordinates(Vector2f point, CalibrationPoint* table, unsigned int count);
};
