// The public compiler: turns the settings into the build context and the build's diagnostics into
// the analysis. Korvan's sequence operations and every tool reach the compiler through here.
#include <korvan/sequence/sequence_compiler.h>

#include <korvan/sequence/detail/compile_list.h>
#include <korvan/sequence/element_kind.h>

#include <algorithm>
#include <utility>

namespace korvan {
namespace {

detail::BuildContext ContextFor(const SequenceSettings& settings) {
    detail::BuildContext context;
    context.lasers = settings.lasers;
    context.laserCount = settings.lasers != nullptr ? settings.laserCount : 0;
    context.tickTime = settings.tickTime;
    context.scanLead = detail::ScanLeadTicks(settings.scanMode);
    context.allowLaserPorts = settings.allowLaserPorts;
    return context;
}

}  // namespace

SequenceAnalysis CompileSequence(const SequenceObject* const* elements, unsigned int count,
                                 const SequenceSettings& settings) {
    SequenceAnalysis analysis;
    analysis.tickTime = settings.tickTime;
    if (settings.tickTime == 0) {  // every delay divides by it
        analysis.result = ResultInvalidArgument;
        analysis.reason = "tick time 0";
        return analysis;
    }
    const detail::BuildContext context = ContextFor(settings);
    detail::SequenceImage image;
    image.bytes.reserve(context.maxImageLength);  // address space only: untouched pages cost nothing
    detail::BuildDiagnostics diagnostics;
    analysis.result = detail::BuildSequenceImage(context, elements, count, &image, &diagnostics);
    analysis.reason = std::move(diagnostics.reason);
    if (diagnostics.failedIndex < count) analysis.failedElement = static_cast<int>(diagnostics.failedIndex);
    analysis.elements.reserve(diagnostics.timings.size());
    for (const auto& t : diagnostics.timings)
        analysis.elements.push_back({t.startTick, t.duration, t.illumination, t.endTick, t.imageBytes});
    const unsigned int lit = analysis.failedElement >= 0 ? static_cast<unsigned int>(analysis.failedElement)
                                                         : static_cast<unsigned int>(analysis.elements.size());
    for (unsigned int i = 0; i < analysis.elements.size() && i < count; ++i) {
        // Outputs, waits and jumps give no light. The element compiler files 1 tick for them, which
        // GetTiming keeps reporting; the analysis shows what the beam does.
        // A null element was refused (ResultInvalidArgument); nothing after it was built.
        if (elements[i] == nullptr) break;
        if (!IsBeamKind(KindOf(*elements[i]))) analysis.elements[i].illumination = 0;
        if (i < lit) analysis.illuminationTicks += analysis.elements[i].illumination;
    }
    for (const auto& [index, note] : diagnostics.clamped)
        analysis.clampedPositions.push_back(
            {static_cast<int>(index), note.askedX, note.askedY, note.usedX, note.usedY, note.count});
    std::sort(analysis.clampedPositions.begin(), analysis.clampedPositions.end(),
              [](const ClampedPosition& a, const ClampedPosition& b) { return a.element < b.element; });
    analysis.mainListLength = image.mainLength;
    analysis.image = std::move(image.bytes);
    return analysis;
}

unsigned int TimeSequenceElement(const SequenceObject& element, const SequenceSettings& settings,
                                 SequenceElementTiming* timing) {
    if (timing == nullptr) return ResultInvalidArgument;
    *timing = SequenceElementTiming{};
    if (settings.tickTime == 0) return ResultInvalidArgument;
    unsigned int duration = 0, illumination = 0;
    const unsigned int result = detail::TimeElement(ContextFor(settings), element, &duration, &illumination);
    timing->startTick = element.startTick;
    timing->duration = duration;
    timing->illumination = illumination;
    timing->endTick = detail::ElementEndTick(element, duration);
    return result;
}

}  // namespace korvan
