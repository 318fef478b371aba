#pragma once
// Which part of the camera's sensor an image shows, and at what binning. A calibration table's
// camera pixels belong to the image it was recorded from; an image taken with another region of
// interest or binning shows the same spot at other pixels. Going through full-sensor coordinates
// maps one to the other.
#include <korvan/export.h>
#include <tessel/geometry/rpointf.h>

#include <string>

class Calibration;

namespace korvan {

/// A camera image's place on the sensor: its first sensor pixel (left, top) and its binning
/// (sensor pixels per image pixel, each way). Width and height, in image pixels, are kept for
/// reports; the mapping needs only the origin and the binning. The default is the full sensor
/// at binning 1, the frame a table without a stored region is taken to belong to.
struct KORVAN_API CameraRegion {
    int left = 0, top = 0;
    int width = 0, height = 0;  ///< image pixels; 0 when unknown
    int binning = 1;            ///< 1 or more

    bool operator==(const CameraRegion& other) const;
    bool operator!=(const CameraRegion& other) const { return !(*this == other); }

    /// Full-sensor coordinates of an image point. Pixel centres map to the centre of the sensor
    /// pixels they bin: image pixel u covers sensor pixels left + u * binning ... + binning - 1.
    RPOINTF ToSensor(RPOINTF image) const;
    /// The inverse: where a full-sensor point lies in this image (it may lie outside).
    RPOINTF FromSensor(RPOINTF sensor) const;
};

/// The point of image `from` that shows the same place as `point` in image `to`'s pixels.
KORVAN_API RPOINTF ConvertCameraPoint(const CameraRegion& from, const CameraRegion& to, RPOINTF point);

// ---- The region in a calibration file -------------------------------------------------------
//
// A calibration file may name the camera region its camera pixels belong to, in a section
// [Camera] beside [Spot] and [Calibration] (keys: docs/calibration-format.md). Loading a table
// ignores the section, so files with it stay readable everywhere.

/// Adds the section [Camera] with `region` to an existing calibration file, replacing one that is
/// there; the other sections stay as they are. ResultSuccess; ResultInvalidArgument for a null
/// path, a binning below 1, a negative origin or size; ResultNotPossibleNow when the file does not
/// exist or cannot be written.
KORVAN_API unsigned int StoreCameraRegion(const char* path, const CameraRegion& region);

/// Writes `calibration` as Calibration::SaveCalibration does, with `region` stored in it. The
/// file is complete under a temporary name before it replaces `path`, so a failed save leaves an
/// existing file as it was. Results as SaveCalibration and StoreCameraRegion.
KORVAN_API unsigned int SaveCalibrationWithRegion(const Calibration& calibration, const CameraRegion& region,
                                                  const char* path);

/// Reads the region stored in a calibration file into `*region`. A file without the section
/// gives the default region (the full sensor at binning 1) and `*stored` false; with it,
/// `*stored` true. ResultSuccess; ResultInvalidArgument for a null path or region;
/// ResultNotPossibleNow when the file cannot be read or the section holds a missing or bad value
/// (`*region` unchanged then; `reason`, when not null, says why).
KORVAN_API unsigned int LoadCameraRegion(const char* path, CameraRegion* region, bool* stored,
                                         std::string* reason = nullptr);

}  // namespace korvan
