#pragma once
// How good is a calibration table? A report that can be read before a stimulation misses.
#include <korvan/calibration/calibration.h>
#include <korvan/export.h>

#include <vector>

/// How well one recorded point agrees with the rest of the table.
struct KORVAN_API CalibrationPointQuality {
    /// Leave-one-out error: the point is predicted from its grid neighbours alone (the affine map
    /// that best fits the up to eight points around it) and compared with what was recorded, in
    /// device units (its camera point mapped to the device) and in camera pixels (its device
    /// point mapped to the camera). -1 when the neighbours cannot predict it (a 3-point table, or
    /// neighbours on one line).
    double leaveOneOutDevice = -1;
    double leaveOneOutPixels = -1;
    /// Where the neighbours put the point on the camera (its device point through their map), so
    /// that a report can draw the error as an arrow from the recorded pixel; valid when
    /// leaveOneOutPixels is not -1.
    double predictedCameraX = 0, predictedCameraY = 0;
    /// Distance of the recorded device point from the table's fitted affine map, device units.
    double affineDeviation = 0;
    /// The point is a corner of a folded cell.
    bool inFoldedCell = false;
};

/// The report of AssessCalibration.
///
/// Reading it. Errors are best compared with `gridSpacing`, the mean distance between
/// neighbouring grid points in device units (21845 for a 4 x 4 table over the full range).
/// - Leave-one-out: what a stimulation between the grid points risks. A good table of a camera
///   with a mild lens distortion stays below about 2 % of the spacing (a few hundred device
///   units on a 4 x 4 grid at most, usually well under one scan step) and below a pixel or two;
///   spot-detection noise adds about the noise itself. A mis-clicked or swapped point stands out
///   with tens of percent of the spacing at itself and its neighbours.
/// - The affine part: `scaleX` and `scaleY` are device units per camera pixel along the camera's
///   axes and should match the optics (equal on both axes for square pixels); `rotationDegrees`
///   is how the camera is turned against the mirrors; `skewDegrees` should be near 0 (a few
///   degrees mean the axes are not perpendicular: a tilted camera or a wrong point order).
///   `affineMaxDeviation` is how far the table bends away from a straight map: lens distortion
///   shows here smoothly over the whole table (hundreds of device units are normal at the
///   corners); a single large value at one point with small ones around it is a bad point.
/// - Folded cells: a grid cell whose corners appear in the other turning order on the camera
///   than on the device. A sound table has none; one folded cell almost always means two points
///   were swapped or one was clicked on the wrong spot, and the map is wrong inside that cell.
///   The two measures complement each other: a corner point swapped with its diagonal
///   neighbour leaves three points that a mirrored map fits exactly, so its leave-one-out error
///   stays small while its cell folds.
struct KORVAN_API CalibrationQuality {
    /// 0 when assessed; 2 when the table holds no usable grid (no points, a count that is
    /// neither 3 nor a square of at least 2 x 2, or coordinates that are not finite).
    unsigned int result = 0;
    unsigned int pointCount = 0;
    /// Points per grid row; 0 for a 3-point table, which has no grid.
    unsigned int gridSize = 0;
    /// Mean distance between grid neighbours, in device units and in camera pixels.
    double gridSpacing = 0;
    double gridSpacingPixels = 0;

    /// Leave-one-out errors over the points that could be predicted (see
    /// CalibrationPointQuality); all -1 and `worstPoint` -1 when none could.
    double leaveOneOutMean = -1;
    double leaveOneOutMax = -1;
    double leaveOneOutMeanPixels = -1;
    double leaveOneOutMaxPixels = -1;
    /// Index of the point with the largest leave-one-out error in device units.
    int worstPoint = -1;

    /// The affine map camera -> device that fits all points best (least squares).
    double scaleX = 0;           ///< device units per camera pixel along the camera's x axis
    double scaleY = 0;           ///< the same along the camera's y axis
    double rotationDegrees = 0;  ///< angle of the camera's x axis in device coordinates
    double skewDegrees = 0;      ///< departure of the mapped axes from a right angle
    bool mirrored = false;       ///< the camera sees the device's plane mirror-inverted
    /// Largest distance of a recorded device point from that map, in device units and converted
    /// to camera pixels, and the point where it occurs.
    double affineMaxDeviation = 0;
    double affineMaxDeviationPixels = 0;
    int affineWorstPoint = -1;

    /// Folded cells, each given by the index of its first point (the cell spans points i, i + 1,
    /// i + gridSize, i + gridSize + 1).
    std::vector<unsigned int> foldedCells;
    /// Per point, in table order.
    std::vector<CalibrationPointQuality> points;

    /// A short verdict: no folded cell and every leave-one-out error below 5 % of the grid
    /// spacing (kSoundShareOfSpacing). A table that fails it should be recorded again, or its
    /// worst point checked.
    bool LooksSound() const;
    /// The share of `gridSpacing` below which LooksSound wants every leave-one-out error: over
    /// twice what lens distortion and spot noise give a good table, a fraction of what a
    /// mis-clicked point gives.
    static constexpr double kSoundShareOfSpacing = 0.05;
};

/// Assesses a calibration table (Calibration::calibrationPoints with Calibration::pointCount
/// points, row by row as a calibration run records them). A pure function: it reads the table
/// only and needs no device.
KORVAN_API CalibrationQuality AssessCalibration(const Calibration& calibration);
