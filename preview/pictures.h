#pragma once
// Pictures of a beam trace: an SVG drawing of the paths and a PNG heat map of the light dose.
#include "preview/beam_trace.h"

#include <string>
#include <vector>

namespace preview {

struct PreviewLegend {
    std::string title;  ///< the sequence file
    double durationUs = 0;
    double illuminationUs = 0;  ///< from the compiler's per-element figures
    size_t imageBytes = 0;
    size_t elements = 0;
};

/// The SVG text: mirror field outline, dark travel as thin grey lines, lit paths in each laser's
/// colour with their intensity as opacity, dwell points as discs whose area grows with the dwell
/// time, and a legend.
std::string DrawSvg(const BeamTrace& trace, const std::vector<TraceLaser>& lasers, const PreviewLegend& legend,
                    unsigned int tickTimeUs);

/// Light delivered per area on a `size` x `size` grid over the mirror field: per cell the light
/// time in microseconds times the fraction of full intensity, summed over lasers. Rests count at
/// their position; the light of a scanned path is spread along it (not sampled at its steps), and
/// the spot is spread over a small Gaussian footprint.
struct DoseMap {
    int size = 0;
    std::vector<double> cells;  ///< row by row, y downwards
    double Max() const;
    /// Side of one cell in device units.
    double CellSide() const { return size > 0 ? 65536.0 / size : 0; }
};
DoseMap ComputeDose(const BeamTrace& trace, int size);

/// The unit the dose picture's colour scale is labelled in, and a cell's value in it.
extern const char* const kDoseUnit;
double DosePerArea(const DoseMap& map, double cellValue);

/// Writes the map as an 8-bit RGB PNG, dark to bright, with a colour scale labelled in kDoseUnit
/// beside it; false with `error`.
bool WriteDosePng(const DoseMap& map, const std::string& path, std::string* error);

}  // namespace preview
