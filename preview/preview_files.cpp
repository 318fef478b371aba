#include "preview/preview_files.h"

#include <fstream>

namespace preview {

// Pixels on each side of the dose picture's field.
constexpr int kDoseCells = 512;

PreviewLegend LegendOf(const std::string& title, const SequenceAnalysis& analysis, const BeamTrace& trace,
                       size_t elements) {
    PreviewLegend legend;
    legend.title = title;
    legend.durationUs = static_cast<double>(trace.endUs);
    legend.illuminationUs = static_cast<double>(LightTimeUs(analysis));
    legend.imageBytes = analysis.image.size();
    legend.elements = elements;
    return legend;
}

void WritePictures(const BeamTrace& trace, const std::vector<TraceLaser>& lasers, const PreviewLegend& legend,
                   unsigned int tickTimeUs, const std::string& svgPath, const std::string& pngPath) {
    std::ofstream svg(svgPath, std::ios::binary);
    if (!svg) throw FileError("cannot create " + svgPath);
    svg << DrawSvg(trace, lasers, legend, tickTimeUs);
    if (!svg.flush()) throw FileError("cannot write " + svgPath);
    if (!pngPath.empty()) {
        std::string error;
        if (!WriteDosePng(ComputeDose(trace, kDoseCells), pngPath, &error)) throw FileError(error);
    }
}

BeamTrace WritePreview(const sequence_file::CompiledSequence& built, const std::string& svgPath,
                       const std::string& pngPath) {
    const std::vector<TraceLaser> lasers = built.PreviewLasers();
    const SequenceAnalysis& a = built.analysis;
    BeamTrace trace;
    try {
        trace = TraceCompiled(a, lasers);
    } catch (const std::runtime_error& e) {
        throw sequence_file::DeviceError(e.what());  // the compiler and the executor disagree: not the user's fault
    }
    const std::string title = built.file.path.empty() ? "sequence" : built.file.path;
    WritePictures(trace, lasers, LegendOf(title, a, trace, built.file.elements.size()), a.tickTime, svgPath, pngPath);
    return trace;
}

}  // namespace preview
