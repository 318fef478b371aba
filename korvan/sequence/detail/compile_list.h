#pragma once
// Building a sequence image from an element array: split into the main list (beam, waits,
// jumps) and the output list (output elements), sort each by start tick, check, compile and
// write both lists back to back.
#include <korvan/export.h>
#include <korvan/sequence/detail/compile_context.h>
#include <korvan/sequence/sequence_object.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvan::detail {

struct SequenceImage {
    std::vector<std::uint8_t> bytes;  ///< main list, then output list
    std::uint32_t mainLength = 0;
};

/// Timing of one element of a built sequence.
struct ElementTiming {
    std::uint32_t startTick = 0;
    std::uint32_t duration = 0;
    std::uint32_t illumination = 0;
    std::uint64_t endTick = 0;     ///< loops included
    std::uint64_t imageBytes = 0;  ///< what its actions added to the image, slot headers included
};

/// What a build found out besides the image, for tools that explain a sequence.
struct BuildDiagnostics {
    std::vector<ElementTiming> timings;      ///< array order; filled as far as the build got
    unsigned int failedIndex = 0xFFFFFFFFu;  ///< array index of the element that failed
    std::string reason;                      ///< why the build failed, in words
    /// Elements (array index) whose positions were moved onto the field's edge.
    std::vector<std::pair<unsigned int, ClampNote>> clamped;
};

/// Builds the image of `count` elements. 0; 2 null array or element; 3 the image would pass
/// context.maxImageLength; 4 an element failed a check or yields nothing.
KORVAN_API unsigned int BuildSequenceImage(const BuildContext& context, const SequenceObject* const* elements,
                                           unsigned int count, SequenceImage* image,
                                           BuildDiagnostics* diagnostics = nullptr);

/// Where an element that starts at `startTick` and lasts `duration` ticks ends: for a jump, its
/// loop's repetitions included. The one rule for loop ends (the list compiler checks it against
/// the device's ticks; tools lay out start ticks with it through TimeSequenceElement).
std::uint64_t ElementEndTick(const SequenceObject& element, std::uint64_t duration);

/// Duration and illumination of one element, compiled alone without its actions. 0, or 2 when
/// both are 0 (the element yields nothing), 4 when they do not fit in 32 bits.
KORVAN_API unsigned int TimeElement(const BuildContext& context, const SequenceObject& element, unsigned int* duration,
                                    unsigned int* illumination);

}  // namespace korvan::detail
