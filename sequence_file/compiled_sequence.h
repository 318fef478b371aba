#pragma once
// A sequence file compiled without a device: its lasers as definitions the compiler takes, its
// start ticks laid out from the compiler's own timing, and the compiler's analysis. This is what
// `korvan check` and `korvan preview` show and what the Python module analyses; nothing here
// touches a device, a port or process-wide state.
#include <sequence_file/sequence_file.h>

#include <optional>
#include <string>
#include <vector>

namespace sequence_file {

/// A laser as a preview draws it.
struct PreviewLaser {
    std::string name;
    std::string color;      ///< "#rrggbb"
    unsigned int port = 2;  ///< OutputPorts value, LaserOutput1..4
    int onLevel = 1;        ///< Laser::OnLevel: the line level that lights it
    int offLevel = 0;       ///< Laser::OffLevel: the line level it rests at, dark
    bool intensityControlled = false;
};

/// The file's lasers as definitions, identifiers 1..n in file order.
std::vector<Laser> LasersOf(const SequenceFile& file);

/// Gives every element without a start the tick at which the previous beam element (or loop)
/// ends and resolves jump targets named by element, both from korvan::TimeSequenceElement under
/// `settings`, `gap` ticks later (0 for files: back to back). Returns each element's timing in file
/// order (duration 0 for one that compiles to nothing); throws InputError when a start or jump
/// target cannot be laid out.
std::vector<SequenceElementTiming> LayOut(SequenceFile& file, const korvan::SequenceSettings& settings,
                                          unsigned int gap = 0);

class CompiledSequence {
public:
    /// Lays out and compiles `file` at its own tick time and scan mode. Throws InputError only for
    /// a layout fault; a compile fault is kept in analysis (see Failure).
    explicit CompiledSequence(SequenceFile file);
    CompiledSequence(CompiledSequence&&) = default;
    CompiledSequence& operator=(CompiledSequence&&) = default;

    SequenceFile file;
    std::vector<Laser> lasers;                  ///< LasersOf(file); the elements name them
    std::vector<SequenceElementTiming> layout;  ///< from LayOut
    SequenceAnalysis analysis;
    unsigned long long endTick = 0;  ///< where the last beam element or loop ends

    /// What the compiler took: the file's tick time and scan mode and `lasers`.
    korvan::SequenceSettings Settings() const;
    /// The compile's failure as a fault of the file (the failed element's pointer), if any.
    std::optional<InputError> Failure() const;
    void ThrowIfFailed() const;
    /// The file's lasers with their colours (chosen by position where the file gives none).
    std::vector<PreviewLaser> PreviewLasers() const;
};

/// Lasers the application defined (for element lists): named "laser N" after their identifier,
/// coloured by position.
std::vector<PreviewLaser> PreviewLasersOf(const Laser* lasers, unsigned int count);

}  // namespace sequence_file
