#pragma once
// What the beam does, from a compiled image run through the virtual device's executor (no
// device, no pseudo-terminal): where the mirrors went, where the light fell and for how long,
// and what the outputs and waits did meanwhile.
//
// The trace is built while the executor runs and stays small for large sequences: mirror steps
// that continue a straight run (within a tolerance far below what a picture shows) are merged
// into one move, and the short rest after each lit step is counted as light along that move.
#include <sequence_file/compiled_sequence.h>

#include <korvan/sequence/sequence_analysis.h>
#include <sim/image/timeline.h>

#include <cstdint>
#include <string>
#include <vector>

namespace preview {

/// A laser as the trace sees it: its output's line and analog codes and how to read them.
using TraceLaser = sequence_file::PreviewLaser;

/// The beam resting lit at one position: `litMask` has bit i for laser i (TraceLaser order).
struct Stay {
    double x = 0, y = 0;
    uint64_t startUs = 0, durationUs = 0;
    unsigned int litMask = 0;
    double intensity[4] = {0, 0, 0, 0};  ///< fraction of full scale per laser, while lit
};

/// The mirrors going from (x0, y0) to (x1, y1), in `steps` steps. `litMask` holds the lasers that
/// shone before and after each step; `lightUs` is the light time of the short rests between the
/// steps (a scan along a path), spread along the move.
struct Move {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    unsigned int litMask = 0;
    double intensity[4] = {0, 0, 0, 0};
    uint64_t lightUs = 0;
    uint32_t steps = 1;
    uint64_t startUs = 0;  ///< device time of the first step
};

/// The lasers' lines and intensities as executed records set them: which lasers shine now. A
/// laser shines while its line is at its on level and its intensity (full for a laser without
/// intensity control) is above 0.
class LaserLights {
public:
    explicit LaserLights(const std::vector<TraceLaser>& lasers);
    /// Takes a line or analog record; true when it drove one of the lasers.
    bool Apply(const sim::image::Record& record);
    /// Bit i for laser i while it shines.
    unsigned int LitMask() const;
    /// Laser i's intensity as a fraction of full scale.
    double Intensity(size_t i) const;
    /// The laser on the digital line with code `line`, or -1.
    int LaserOnLine(unsigned int line) const;

private:
    std::vector<TraceLaser> lasers_;
    int level_[4] = {0, 0, 0, 0};
    uint32_t analog_[4] = {0, 0, 0, 0};
};

/// Something on the outputs or a wait, for the time strip.
struct Mark {
    enum Kind : uint8_t { Level, Pulse, Analog, WaitInput, WaitUser };
    uint64_t timeUs = 0;
    Kind kind = Level;
    uint8_t channel = 0;  ///< digital line code, analog channel code, or input port
    uint32_t value = 0;   ///< line level, analog value (16-bit fraction of full scale) or user wait value
};

struct BeamTrace {
    std::vector<Stay> stays;  ///< lit rests that are not steps of a scanned path
    std::vector<Move> moves;
    std::vector<Mark> marks;    ///< in time order, the first kMaxMarks of them
    uint64_t marksDropped = 0;  ///< marks beyond kMaxMarks, counted only
    uint64_t endUs = 0;         ///< device time when the run ended
    uint64_t litUs = 0;         ///< light time: the compiler's figure (see TraceCompiled); 0 from TraceImage
    uint64_t slots = 0;         ///< slots executed, counted in chunks (an upper bound)
    bool truncated = false;     ///< stopped at the slot limit
    size_t waitsReleased = 0;   ///< input and user waits the preview let pass

    static constexpr size_t kMaxMarks = 200'000;
};

/// Decodes `image` (the main list is its first `mainLength` bytes) and runs it once at
/// `tickTimeUs`, releasing every wait at once. Throws std::runtime_error when the image does not
/// decode. At most `maxSlots` slots run.
BeamTrace TraceImage(const std::vector<uint8_t>& image, unsigned int mainLength, unsigned int tickTimeUs,
                     const std::vector<TraceLaser>& lasers, uint64_t maxSlots = 50'000'000);

/// The light time of a compiled sequence in microseconds: its illumination ticks times its tick
/// time. `korvan check`, the previews and their legends all tell this one figure.
uint64_t LightTimeUs(const SequenceAnalysis& analysis);

/// TraceImage over a compiled sequence, with `litUs` set to LightTimeUs.
BeamTrace TraceCompiled(const SequenceAnalysis& analysis, const std::vector<TraceLaser>& lasers);

}  // namespace preview
