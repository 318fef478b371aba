#pragma once
// Compiling a sequence without a device. The compiler is a function of the elements and one
// settings value; it reads and writes no process-wide state, so a tool, a script or a second
// thread can check and preview sequences while a Korvan object drives a device.
#include <korvan/device/device_types.h>
#include <korvan/device/laser.h>
#include <korvan/export.h>
#include <korvan/sequence/sequence_analysis.h>
#include <korvan/sequence/sequence_object.h>

namespace korvan {

/// Everything a compilation reads besides the elements. Korvan::UploadSequence and its siblings
/// fill it from the connected device (tick time), the process-wide scan mode and laser list.
struct KORVAN_API SequenceSettings {
    /// Microseconds per device tick (Korvan::SetTickTime); must not be 0.
    unsigned int tickTime = 50;
    /// The mirrors' settle time before light: 100 ticks by default, 14 in short mode.
    ScanMode scanMode = ScanModeDefault;
    /// The lasers elements may name (by Laser::id), with their calibrations and step sizes. Not
    /// owned: the array must stay valid and unchanged during the call.
    const Laser* lasers = nullptr;
    unsigned int laserCount = 0;
    /// Output elements may drive ports that lasers of the sequence use (a pulsed laser's own
    /// pulse train). Off for applications: a laser line is the sequence's, not an output's.
    bool allowLaserPorts = false;
};

/// Compiles `count` elements (the caller keeps them; they are only read) into the sequence image
/// and its analysis: `result` ResultSuccess, ResultInvalidArgument for a null array or element,
/// ResultMemoryTooSmall when the image passes the device's 33,000,000 bytes,
/// ResultSequenceInvalid when an element failed a check (see Korvan::UploadSequence; also a
/// filled shape whose hatching would take more than 2,000,000,000 rows x corners, about five
/// seconds); the failed element and the reason; positions moved onto the edge of the mirror field
/// (clampedPositions, a warning); per element its start, duration, light time and end; the image (main
/// list, then output list) with the main list's length. Thread-safe for distinct settings and
/// elements.
KORVAN_API SequenceAnalysis CompileSequence(const SequenceObject* const* elements, unsigned int count,
                                            const SequenceSettings& settings);

/// Timing of one element compiled alone, as Korvan::GetTiming gives it, plus where it ends:
/// `timing->endTick` is its start plus its duration, and for a jump the repetitions of its loop
/// (the tick at which the next beam element may start). ResultSuccess; ResultInvalidArgument for
/// a null `timing` or an element that yields nothing (timing 0 then); ResultSequenceInvalid for a
/// duration beyond the device's 32-bit ticks.
KORVAN_API unsigned int TimeSequenceElement(const SequenceObject& element, const SequenceSettings& settings,
                                            SequenceElementTiming* timing);

}  // namespace korvan
