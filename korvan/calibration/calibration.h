#pragma once
#include <korvan/export.h>
#include <tessel/geometry/calibration_point.h>
#include <tessel/geometry/rpointf.h>

#include <string>

/// A laser's calibration: a table of camera/device point pairs, evaluated piecewise affinely
/// in both directions, plus the scan step size (device units between the points of lines and
/// shapes). A new table is an identity grid over the device range 0..65535.
///
/// Valid point counts are perfect squares (4, 9, 16, ...; 1 is accepted and holds the point
/// 0, 0) and exactly 3. Result codes (<korvan/device/result_codes.h>): ResultSuccess,
/// ResultInvalidArgument (also a file that cannot be created), ResultNotPossibleNow (file
/// content missing or not writable).
class KORVAN_API Calibration {
public:
    /// 16-point identity grid, scan step size 100.
    Calibration();
    /// Grid of `pointCount` points; an invalid count gives the 16-point grid. Step size 100.
    explicit Calibration(unsigned int pointCount);
    /// Deep copy: the copy owns its own table.
    Calibration(const Calibration& other);
    ~Calibration();
    /// Copies step size, count and points into this object's own table.
    Calibration& operator=(const Calibration& other);
    /// Equal step sizes and counts and every point equal within float tolerance.
    bool operator==(const Calibration& other) const;

    /// A new copy (release it with delete). Device coordinates are truncated to whole steps;
    /// camera coordinates are kept as measured (a value between -1 and 0 becomes 0). Points with a
    /// camera coordinate of -1 or less, one that is not finite, or a device coordinate outside
    /// 0..65535 keep the grid value instead.
    Calibration* Clone() const;

    /// Replaces the table by a grid of `pointCount` points, row by row with x running fastest;
    /// camera and device points are equal. ResultSuccess; ResultInvalidArgument, table unchanged,
    /// for 0 and counts that are neither 3 nor a perfect square. The scan step size is kept.
    unsigned int Init(unsigned int pointCount);
    /// Sets point `index`. ResultSuccess; ResultInvalidArgument when the index is not below the
    /// count, a camera coordinate is negative or not finite, or a device coordinate lies outside
    /// 0..65535 (or any value is not a number).
    unsigned int SetCalibrationPoint(unsigned int index, RPOINTF camera, RPOINTF device);
    /// Device position of a camera point, each coordinate truncated to an integer.
    RPOINTF DeviceCoordinates(RPOINTF camera);
    /// Camera point of a device position, each coordinate truncated to an integer.
    RPOINTF CameraCoordinates(RPOINTF device);

    /// Writes the table as an INI file (sections "Spot" and "Calibration"; at most 100 points).
    /// The file is written under a temporary name beside `path` and renamed over it only when
    /// complete, so a failed save leaves an existing file as it was. ResultSuccess;
    /// ResultInvalidArgument: null path, more than 100 points, or the file cannot be created (a
    /// missing folder); ResultNotPossibleNow: a value could not be written.
    unsigned int SaveCalibration(const char* path);
    /// Reads a file written by SaveCalibration (format: docs/calibration-format.md). ResultSuccess;
    /// ResultNotPossibleNow: the file does not exist or cannot be read, a section or the step size
    /// or count is missing, the step size is below 1, or a point key is missing, is not a number
    /// or lies outside its range (device 0..65535, camera 0 or more); ResultInvalidArgument: null
    /// path or an invalid point count (also more than 100, which a file cannot hold). A number may carry a decimal
    /// comma ("42,356" reads as 42.356). A failed load leaves the table and the step size as they were.
    /// korvan::LoadCalibrationFile also says why a load failed.
    unsigned int LoadCalibration(const char* path);

    unsigned int scanStepSize;
    unsigned int pointCount;
    CalibrationPoint* calibrationPoints;  ///< owned; pointCount entries
};

namespace korvan {

/// Calibration::LoadCalibration, with its results, that also says why it failed: on a result
/// other than ResultSuccess, and when `reason` is not null, one sentence naming the file and its
/// fault (for a file that does not exist: "cannot read calibration file PATH: no such file").
/// `calibration` is left as it was on failure.
KORVAN_API unsigned int LoadCalibrationFile(Calibration& calibration, const char* path, std::string* reason);

}  // namespace korvan
