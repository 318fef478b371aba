#pragma once
// A sequence file brought to a device: its lasers defined on a Korvan object (and removed again),
// its timing set. Only `korvan run`, the demo and Python's load_sequence_file need this; checks
// and previews stay with CompiledSequence, which touches nothing.
#include <sequence_file/compiled_sequence.h>

#include <string>
#include <vector>

namespace sequence_file {

/// Defines the file's lasers on `korvan` (AddLaser, calibration file, step size). Returns 0 with
/// their identifiers in `ids`, or the library's result code with `*failedPointer` naming the
/// laser (the ones defined before it are removed again).
unsigned int DefineLasers(Korvan& korvan, const SequenceFile& file, std::vector<unsigned int>* ids,
                          std::string* failedPointer);
void RemoveLasers(Korvan& korvan, const std::vector<unsigned int>& ids);

/// Sets the file's tick time on the connected device and its scan mode for the process: an
/// upload through Korvan compiles with the process-wide scan mode, so a run must set it. Throws
/// DeviceError when the device refuses the tick time.
void ApplyFileTiming(Korvan& korvan, const SequenceFile& file);

/// A file compiled offline whose lasers are then defined on `korvan`; the elements name those
/// lasers, so Korvan::UploadSequence takes them as they are. The lasers go when this object goes.
class DefinedSequence {
public:
    /// Throws InputError for a bad file or a laser the device refuses, DeviceError for a failed
    /// exchange.
    DefinedSequence(Korvan& korvan, SequenceFile file);
    ~DefinedSequence();
    DefinedSequence(const DefinedSequence&) = delete;
    DefinedSequence& operator=(const DefinedSequence&) = delete;

    CompiledSequence compiled;
    /// The identifiers the file's lasers got on the Korvan object, in file order.
    const std::vector<unsigned int>& LaserIds() const { return laserIds_; }

private:
    Korvan& korvan_;
    std::vector<unsigned int> laserIds_;
};

}  // namespace sequence_file
