#pragma once
// Compiling one element into timed actions. One CompileKind overload per element kind, reached
// through CompileElement's visit (element_kind.h); the point and line rules share the start of
// the illumination.
#include <korvan/export.h>
#include <korvan/sequence/detail/compile_context.h>
#include <korvan/sequence/sequence_control.h>
#include <korvan/sequence/sequence_outputs.h>
#include <korvan/sequence/element_kind.h>
#include <korvan/sequence/sequence_point.h>
#include <korvan/sequence/sequence_shapes.h>

#include <optional>

namespace korvan::detail {

/// Compiles `element` into `out` (cleared first). An element that yields nothing leaves duration
/// and illumination 0; a fault that must fail the build sets out.result. Unless out.timingOnly,
/// both action vectors end sorted by tick, keeping the production order within a tick.
KORVAN_API void CompileElement(const SequenceObject& element, const BuildContext& context, ElementOutput& out);

// ---- per kind (compile_*.cpp): one overload each, reached through VisitElement ----------------
/// An element of no known kind yields nothing.
inline void CompileKind(const SequenceObject&, const BuildContext&, ElementOutput&) {}
void CompileKind(const SequenceSetTTL& e, const BuildContext&, ElementOutput& out);
void CompileKind(const SequencePulseTTL& e, const BuildContext&, ElementOutput& out);
void CompileKind(const SequenceSetAnalog& e, const BuildContext&, ElementOutput& out);
void CompileKind(const SequenceWaitTTL& e, const BuildContext&, ElementOutput& out);
void CompileKind(const SequenceWaitUser& e, const BuildContext&, ElementOutput& out);
void CompileKind(const SequenceJump& e, const BuildContext&, ElementOutput& out);
void CompileKind(const SequencePoint& e, const BuildContext& context, ElementOutput& out);
void CompileKind(const SequenceLine& e, const BuildContext& context, ElementOutput& out);
void CompileKind(const SequenceEllipse& e, const BuildContext& context, ElementOutput& out);
void CompileKind(const SequencePolygon& e, const BuildContext& context, ElementOutput& out);

// ---- shared by points, lines and shapes ------------------------------------------------------

/// Which parts of the start of an illumination apply.
struct IlluminationStart {
    bool switchLaserOn = true;
    bool setIntensity = true;
    bool waitForMirror = true;
    bool warmUp = true;  ///< false for the later lines of a hatch fill
    /// Replaces the intensities of the element (a point's first stamp at time 0).
    std::optional<unsigned int> intensity;
};

/// Ticks the start of an illumination takes, and where the light part begins.
struct IlluminationTiming {
    std::uint64_t warmUp = 0;  ///< warm-up length
    std::uint64_t start = 0;   ///< the element's start moved on by the warm-up
    std::uint64_t lead = 0;    ///< ticks from `start` to the light
    /// Per laser (ElementLasers order): ticks from `start` to its line switching on.
    std::uint64_t switchOn[4] = {};
};

/// Files the warm-up, the switching on and the intensity of the element's lasers (lead vector)
/// and returns the timing. Sets out.result for an intensity above 10000.
IlluminationTiming BeginIllumination(const SequenceObject& e, const ElementLasers& lasers, const IlluminationStart& how,
                                     const BuildContext& context, ElementOutput& out);

/// A camera point in device coordinates through a laser's calibration, each coordinate truncated.
Vector2f CameraToDevice(const Laser& laser, RPOINTF camera);

/// The line rules on positions already in device coordinates (lines, polygon outlines, hatch
/// lines). `extension` is the continuous laser's extra E ticks (2 for lines and outlines, 0 for
/// hatch lines); the repetition jump is filed only when `repeat` is set.
struct ScanPath {
    const std::vector<Vector2f>* positions = nullptr;  ///< null in timing-only mode
    std::uint64_t count = 0;                           ///< number of positions
    bool continuousExtension = true;
    bool warmUp = true;
    bool repeat = true;
};
void CompileScan(const SequenceObject& e, const ElementLasers& lasers, const ScanPath& path,
                 const BuildContext& context, ElementOutput& out);

}  // namespace korvan::detail
