#pragma once
// Is each laser's calibration fit to aim the beam? The verdict the korvan tool prints before it
// compiles, previews or runs a sequence file.
#include <korvan/calibration/calibration_quality.h>
#include <sequence_file/sequence_file.h>

#include <string>
#include <vector>

namespace sequence_file {

/// The calibration of one laser of a file.
struct CalibrationVerdict {
    std::string laser;           ///< the laser's name
    std::string pointer;         ///< where the file names the calibration ("/lasers/0/calibration"), else the laser
    std::string path;            ///< the calibration file; empty: none, camera pixels are device units
    bool cameraUnits = false;    ///< an element aimed through this laser gives camera pixels
    CalibrationQuality quality;  ///< the table's report, when there is a file
    /// No file, or a table that passes CalibrationQuality::LooksSound.
    bool Sound() const;
    /// One line for people: the leave-one-out maximum, the folded cells and the verdict, or that
    /// camera pixels are taken as device units.
    std::string Summary() const;
};

/// The verdicts of the lasers worth a word: each laser with a calibration file, and each laser
/// without one that elements aim at in camera pixels. In the file's laser order.
std::vector<CalibrationVerdict> JudgeCalibrations(const SequenceFile& file);

}  // namespace sequence_file
