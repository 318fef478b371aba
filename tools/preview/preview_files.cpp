#include "tools/preview/preview_files.h"

#include "tools/preview/pictures.h"
#include "tools/report.h"

#include <fstream>

namespace tools {

std::vector<TraceLaser> TraceLasers(const SequenceFile& file) {
    static const char* const kPalette[] = {"#1f6fd1", "#d62728", "#2ca02c", "#9467bd"};
    std::vector<TraceLaser> lasers;
    for (size_t i = 0; i < file.lasers.size(); ++i) {
        const LaserSpec& l = file.lasers[i];
        TraceLaser t;
        t.name = l.name;
        t.color = l.color.empty() ? kPalette[i % 4] : l.color;
        t.port = l.port;
        t.activeLevel = l.activeLevel;
        t.intensityControlled = l.minIntensity < l.maxIntensity;
        lasers.push_back(t);
    }
    return lasers;
}

BeamTrace WritePreview(const BuiltSequence& built, const std::string& svgPath, const std::string& pngPath) {
    const std::vector<TraceLaser> lasers = TraceLasers(built.file);
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
    double light = 0;
    for (size_t i = 0; i < a.elements.size() && i < built.file.elements.size(); ++i)
        if (built.file.elements[i].element->IsIlluminationObject()) light += a.elements[i].illumination;
    legend.illuminationUs = light * built.file.tickTime;
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
