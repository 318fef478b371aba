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
    /// Bytes of device memory its actions take in the image (slot headers included; an action
    /// that shares a tick with an earlier element's counts for this one).
    unsigned long long imageBytes = 0;
};

/// A beam position outside the mirror field 0..65535: the compiler moves it onto the field's edge
/// and lights it there, so the beam is not where the element asked. A warning, not a failure.
struct KORVAN_API ClampedPosition {
    int element = -1;                   ///< index in the caller's array
    double askedX = 0, askedY = 0;      ///< in device coordinates (a camera point after its mapping)
    unsigned int usedX = 0, usedY = 0;  ///< where the mirrors go instead
    /// How many of the element's positions were moved (a line or shape scans many); the
    /// position above is the first of them.
    unsigned long long positions = 0;
};

/// The outcome of a compilation (korvan::CompileSequence, Korvan::AnalyzeSequence).
struct KORVAN_API SequenceAnalysis {
    /// The result UploadSequence would have from compiling: ResultSuccess, ResultInvalidArgument,
    /// ResultMemoryTooSmall or ResultSequenceInvalid.
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
    /// Elements with positions moved onto the field's edge, in array order (as far as the build
    /// got). Empty when every position lies in the field.
    std::vector<ClampedPosition> clampedPositions;
};

namespace korvan {

/// The warning in words: "element 2: position (70000, 5) lies outside the mirror field
/// 0..65535; the mirrors stop at (65535, 5)", and how many more positions were moved.
KORVAN_API std::string DescribeClampedPosition(const ClampedPosition& clamped);

}  // namespace korvan
