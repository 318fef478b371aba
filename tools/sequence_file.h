#pragma once
// Sequence files: a JSON description of lasers and elements (docs/sequence-format.md), read into
// the library's element classes. Reading needs no device; defining the lasers and laying out
// the start ticks needs a Korvan object (its laser list and tick time).
#include <korvan/korvan.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tools {

/// A fault in a sequence file: where (a JSON pointer, "" for the whole document) and what.
class InputError : public std::runtime_error {
public:
    InputError(std::string pointer, const std::string& message)
        : std::runtime_error(message), pointer_(std::move(pointer)) {}
    const std::string& Pointer() const { return pointer_; }

private:
    std::string pointer_;
};

struct LaserSpec {
    std::string name;
    std::string pointer;  ///< where the laser is defined in the file
    OutputPorts port = LaserOutput1;
    unsigned int switchOnDelay = 0, switchOffDelay = 0, intensityDelay = 0;
    unsigned int minIntensity = 0, maxIntensity = 10000;
    unsigned int pulseFrequency = 0, warmUpTime = 0;
    int activeLevel = 1;
    int stepSize = 0;                          ///< 0: the calibration's step size
    std::string calibrationPath;               ///< resolved against the file's folder; empty: none
    std::unique_ptr<Calibration> calibration;  ///< loaded from calibrationPath, else identity
    std::string color;                         ///< for previews; empty: chosen by position
};

struct ElementSpec {
    std::string type;     ///< as written in the file ("point", "line", ...)
    std::string pointer;  ///< "/elements/3"
    std::unique_ptr<SequenceObject> element;
    bool hasStart = false;                 ///< the file gave "start"
    int targetElement = -1;                ///< a jump's target given as an element index
    int laserSlots[4] = {-1, -1, -1, -1};  ///< indices into SequenceFile::lasers
    bool isOutput = false;                 ///< runs in the output list (set/pulse TTL, set analog)
};

struct SequenceFile {
    std::string path;
    std::string description;
    unsigned int tickTime = 50;  ///< microseconds
    ScanMode scanMode = ScanModeDefault;
    std::vector<LaserSpec> lasers;
    std::vector<ElementSpec> elements;

    /// The elements in file order, as the library takes them.
    std::vector<SequenceObject*> Pointers() const;
};

/// Reads and checks a sequence file. Throws InputError for anything wrong in it (including a file
/// that cannot be read); relative calibration paths are taken from the file's folder.
SequenceFile ReadSequenceFile(const std::string& path);
/// The same for text already in memory; `baseDir` resolves calibration paths.
SequenceFile ParseSequenceText(const std::string& text, const std::string& baseDir);

/// Timing of one element as laid out by Schedule.
struct ScheduledElement {
    unsigned int start = 0;
    unsigned int duration = 0;
    unsigned int illumination = 0;
    bool timed = false;  ///< GetTiming gave a result (false: the element compiles to nothing)
};

/// Defines the file's lasers on `korvan` (AddLaser, step size, calibration) and writes their
/// identifiers into the elements. Returns 0 or the library's result code; `*failedPointer` then
/// names the laser. RemoveLasers undoes it.
unsigned int DefineLasers(Korvan& korvan, SequenceFile& file, std::vector<unsigned int>* ids,
                          std::string* failedPointer);
void RemoveLasers(Korvan& korvan, const std::vector<unsigned int>& ids);

/// Gives every element without a start the tick at which the previous beam element (or loop)
/// ends, from the library's timing, and resolves jump targets named by element. Lasers must be
/// defined. Returns the timing of every element in file order; throws InputError when a start
/// or jump target cannot be laid out.
std::vector<ScheduledElement> Schedule(Korvan& korvan, SequenceFile& file);

/// The tick at which the last beam element (loops included) ends.
unsigned long long EndTick(const SequenceFile& file, const std::vector<ScheduledElement>& timing);

}  // namespace tools
