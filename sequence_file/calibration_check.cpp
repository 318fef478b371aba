#include <sequence_file/calibration_check.h>

#include <cstdio>

namespace sequence_file {
namespace {

std::string Format(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string Measures(const CalibrationQuality& q) {
    if (q.result != 0) return "no usable grid (too few points, or all on one line)";
    std::string text = std::to_string(q.pointCount) + " points, ";
    if (q.worstPoint < 0) {
        text += "no grid to cross-check";
    } else {
        text += "leave-one-out max " + Format("%.1f", q.leaveOneOutMax) + " device units (" +
                Format("%.1f", 100 * q.leaveOneOutMax / q.gridSpacing) + " % of the grid spacing, at point " +
                std::to_string(q.worstPoint) + ")";
    }
    const size_t folded = q.foldedCells.size();
    text += folded == 0 ? ", no folded cell"
                        : ", " + std::to_string(folded) + (folded == 1 ? " folded cell at" : " folded cells at");
    for (unsigned int cell : q.foldedCells) text += " [" + std::to_string(cell) + "]";
    return text;
}

}  // namespace

bool CalibrationVerdict::Sound() const { return path.empty() || quality.LooksSound(); }

std::string CalibrationVerdict::Summary() const {
    const std::string who = "laser \"" + laser + "\": ";
    if (path.empty()) return who + "no calibration file: camera pixels are taken as device units";
    std::string text = who + "calibration " + path + ": " + Measures(quality);
    if (Sound()) return text + ": looks sound";
    return text + ": does not look sound (limit: no folded cell and a leave-one-out error below " +
           Format("%.0f", 100 * CalibrationQuality::kSoundShareOfSpacing) + " % of the grid spacing)";
}

std::vector<CalibrationVerdict> JudgeCalibrations(const SequenceFile& file) {
    std::vector<bool> aimedInPixels(file.lasers.size(), false);
    for (const FileElement& e : file.elements) {
        // Positions are mapped through the element's first laser.
        const int first = e.laserSlots[0];
        if (e.cameraUnits && first >= 0 && static_cast<size_t>(first) < aimedInPixels.size())
            aimedInPixels[static_cast<size_t>(first)] = true;
    }
    std::vector<CalibrationVerdict> out;
    for (size_t i = 0; i < file.lasers.size(); ++i) {
        const FileLaser& l = file.lasers[i];
        if (l.calibrationPath.empty() && !aimedInPixels[i]) continue;
        CalibrationVerdict v;
        v.laser = l.name;
        v.path = l.calibrationPath;
        v.pointer = l.calibrationPath.empty() ? l.pointer : l.pointer + "/calibration";
        v.cameraUnits = aimedInPixels[i];
        if (!v.path.empty() && l.calibration) v.quality = AssessCalibration(*l.calibration);
        out.push_back(std::move(v));
    }
    return out;
}

}  // namespace sequence_file
