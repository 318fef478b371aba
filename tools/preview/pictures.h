#pragma once
// Pictures of a beam trace: an SVG drawing of the paths and a PNG heat map of the light dose.
#include "tools/preview/beam_trace.h"

#include <string>
#include <vector>

namespace tools {

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

/// Light delivered per area (microseconds x fraction of full intensity, summed over lasers) on a
/// `size` x `size` grid over the mirror field.
struct DoseMap {
    int size = 0;
    std::vector<double> cells;  ///< row by row, y downwards
    double Max() const;
};
DoseMap ComputeDose(const BeamTrace& trace, int size);

/// Writes the map as an 8-bit RGB PNG with a dark-to-bright colour scale; false with `error`.
bool WriteDosePng(const DoseMap& map, const std::string& path, std::string* error);

}  // namespace tools
