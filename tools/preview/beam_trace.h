#pragma once
// What the beam does, from a compiled image run through the virtual device's executor (no
// device, no pseudo-terminal): where the mirrors stood, for how long, and which lasers shone at
// which intensity.
#include <sequence_file/compiled_sequence.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tools {

/// A laser as the trace sees it: its output's line and analog codes and how to read them.
using TraceLaser = sequence_file::PreviewLaser;

/// The beam resting at one position: `litMask` has bit i for laser i (TraceLaser order).
struct Stay {
    double x = 0, y = 0;
    uint64_t startUs = 0, durationUs = 0;
    unsigned int litMask = 0;
    double intensity[4] = {0, 0, 0, 0};  ///< fraction of full scale per laser, while lit
};

/// A mirror move at one instant; `litMask` holds the lasers that shone before and after it.
struct Move {
    double x0, y0, x1, y1;
    unsigned int litMask = 0;
    double intensity[4] = {0, 0, 0, 0};
};

struct BeamTrace {
    std::vector<Stay> stays;  ///< lit stays only (dark ones are not needed for pictures)
    std::vector<Move> moves;
    uint64_t endUs = 0;        ///< device time when the run ended
    uint64_t litUs = 0;        ///< time with any laser on
    uint64_t slots = 0;        ///< slots executed, counted in chunks (an upper bound)
    bool truncated = false;    ///< stopped at the slot limit
    size_t waitsReleased = 0;  ///< input and user waits the preview let pass
};

/// Decodes `image` (the main list is its first `mainLength` bytes) and runs it once at
/// `tickTimeUs`, releasing every wait at once. Throws std::runtime_error when the image does not
/// decode. At most `maxSlots` slots run.
BeamTrace TraceImage(const std::vector<uint8_t>& image, unsigned int mainLength, unsigned int tickTimeUs,
                     const std::vector<TraceLaser>& lasers, uint64_t maxSlots = 50'000'000);

}  // namespace tools
