#pragma once
// What a sequence compiles to, for tools that check or preview a sequence without a device.
#include <korvan/export.h>

#include <cstdint>
#include <string>
#include <vector>

/// Timing of one element as compiled, in ticks.
struct KORVAN_API SequenceElementTiming {
    unsigned int startTick = 0;
    unsigned int duration = 0;      ///< from startTick to the element's end (loops included)
    unsigned int illumination = 0;  ///< ticks with light
    /// Where the element ends: startTick + duration, and for a jump the repetitions of its loop
    /// as well. The next beam element may start here.
    unsigned long long endTick = 0;
};

/// The outcome of a compilation (korvan::CompileSequence, Korvan::AnalyzeSequence).
struct KORVAN_API SequenceAnalysis {
    /// The result UploadSequence would have from compiling: 0, 2, 3 or 4.
    unsigned int result = 0;
    /// Index (in the caller's array) of the element that failed, -1 when none did.
    int failedElement = -1;
    /// Why it failed, in words ("starts at tick 10, before the previous element ends at 101").
    std::string reason;
    /// Per element, in array order; meaningful up to the failed element.
    std::vector<SequenceElementTiming> elements;
    /// Ticks with light, summed over the beam elements (points, lines, ellipses, polygons) before
    /// the failed element, or over all of them.
    unsigned long long illuminationTicks = 0;
    /// The image as it would be uploaded (main list, then output list), and the main list's length.
    std::vector<std::uint8_t> image;
    unsigned int mainListLength = 0;
    /// The tick time it was compiled with.
    unsigned int tickTime = 0;
};
