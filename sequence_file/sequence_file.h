#pragma once
// Sequence files: a JSON description of lasers and elements (docs/sequence-format.md), read into
// the library's element classes and written back. Shared by the korvan tool and the Python
// module, so a file means the same everywhere; it needs no device, no command line and no images.
#include <korvan/korvan.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sequence_file {

/// A device or communication failure while a file is brought to a device; `Result()` is the
/// library's result code (0 when none).
class DeviceError : public std::runtime_error {
public:
    DeviceError(const std::string& message, unsigned int result = 0) : std::runtime_error(message), result_(result) {}
    unsigned int Result() const { return result_; }

private:
    unsigned int result_;
};

/// A fault in a sequence file: where (a JSON pointer, "" for the whole document) and what.
class InputError : public std::runtime_error {
public:
    InputError(std::string pointer, const std::string& message)
        : std::runtime_error(message), pointer_(std::move(pointer)) {}
    const std::string& Pointer() const { return pointer_; }

private:
    std::string pointer_;
};

struct FileLaser {
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

    /// The definition as Korvan::AddLaser takes it (the fields from port to activeLevel).
    LaserSettings Settings() const;
};

struct FileElement {
    std::string type;     ///< as written in the file ("point", "line", ...)
    std::string pointer;  ///< "/elements/3"
    std::unique_ptr<SequenceObject> element;
    bool hasStart = false;                 ///< the file gave "start"
    int targetElement = -1;                ///< a jump's target given as an element index
    int laserSlots[4] = {-1, -1, -1, -1};  ///< indices into SequenceFile::lasers
    bool isOutput = false;                 ///< runs in the output list (set/pulse TTL, set analog)
    bool cameraUnits = false;              ///< a beam element's positions are camera pixels
};

struct SequenceFile {
    std::string path;
    std::string description;
    unsigned int tickTime = 50;  ///< microseconds
    ScanMode scanMode = ScanModeDefault;
    std::vector<FileLaser> lasers;
    std::vector<FileElement> elements;

    /// The elements in file order, as the library takes them.
    std::vector<SequenceObject*> Pointers() const;
};

/// Reads and checks a sequence file. Throws InputError for anything wrong in it (including a file
/// that cannot be read); relative calibration paths are taken from the file's folder.
SequenceFile ReadSequenceFile(const std::string& path);
/// The same for text already in memory; `baseDir` resolves calibration paths.
SequenceFile ParseSequenceText(const std::string& text, const std::string& baseDir);

/// The file as JSON text that reads back to the same lasers and elements (calibration paths as
/// resolved, so the text may live in another folder). Starts are written where the file gave them.
std::string WriteSequenceText(const SequenceFile& file);

/// Writes laser identifiers into the elements: `ids[i]` for the file's laser i.
void AssignLaserIds(SequenceFile& file, const std::vector<unsigned int>& ids);

}  // namespace sequence_file
