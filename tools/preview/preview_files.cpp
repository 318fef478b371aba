#include "tools/preview/preview_files.h"

#include "tools/preview/pictures.h"
#include "tools/report.h"

#include <fstream>

namespace tools {

BeamTrace WritePreview(const sequence_file::CompiledSequence& built, const std::string& svgPath,
                       const std::string& pngPath) {
    const std::vector<TraceLaser> lasers = built.PreviewLasers();
    const SequenceAnalysis& a = built.analysis;
    BeamTrace trace;
    try {
        trace = TraceImage(a.image, a.mainListLength, built.file.tickTime, lasers);
    } catch (const std::runtime_error& e) {
        throw DeviceError(e.what());  // the compiler and the executor disagree: not the user's fault
    }
    PreviewLegend legend;
    legend.title = built.file.path.empty() ? "sequence" : built.file.path;
    legend.durationUs = static_cast<double>(trace.endUs);
    legend.illuminationUs = static_cast<double>(a.illuminationTicks) * built.file.tickTime;
    legend.imageBytes = a.image.size();
    legend.elements = built.file.elements.size();
    std::ofstream svg(svgPath, std::ios::binary);
    if (!svg) throw UsageError("cannot create " + svgPath);
    svg << DrawSvg(trace, lasers, legend, built.file.tickTime);
    if (!svg.flush()) throw UsageError("cannot write " + svgPath);
    if (!pngPath.empty()) {
        std::string error;
        if (!WriteDosePng(ComputeDose(trace, 512), pngPath, &error)) throw UsageError(error);
    }
    return trace;
}

}  // namespace tools
