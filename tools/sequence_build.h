#pragma once
// From a sequence file to a compiled image: lasers defined on a Korvan object, starts laid out,
// the whole array compiled and analysed. Shared by check, preview, run and demo.
#include "tools/sequence_file.h"
#include "tools/virtual_host.h"

#include <korvan/sequence/sequence_analysis.h>

#include <memory>
#include <optional>

namespace tools {

struct BuiltSequence {
    SequenceFile file;
    std::vector<ScheduledElement> timing;
    SequenceAnalysis analysis;
    unsigned long long endTick = 0;  ///< where the last beam element or loop ends

    BuiltSequence(Korvan& korvan, SequenceFile file);
    ~BuiltSequence();  // removes the lasers it defined
    BuiltSequence(const BuiltSequence&) = delete;
    BuiltSequence& operator=(const BuiltSequence&) = delete;

    /// The compile's failure as a fault of the file (the failed element's pointer), if any.
    std::optional<InputError> Failure() const;
    /// Throws the failure, if any.
    void ThrowIfFailed() const;
    /// The identifiers the file's lasers got, in file order.
    const std::vector<unsigned int>& LaserIds() const { return laserIds_; }

private:
    Korvan& korvan_;
    std::vector<unsigned int> laserIds_;
};

/// A sequence file read and built without a device. Compiling depends on the Korvan object's
/// tick time, which only a connected object can change: for any other than the default 50 us
/// the build connects to an in-process virtual device.
class OfflineBuild {
public:
    /// Throws InputError for a bad file (DeviceError if the virtual device fails).
    explicit OfflineBuild(const std::string& path);
    ~OfflineBuild();
    const BuiltSequence& Built() const { return *built_; }

private:
    std::unique_ptr<VirtualHost> host_;
    Korvan korvan_;
    std::unique_ptr<BuiltSequence> built_;
};

/// Searches the ports (one walk) and connects to the device named by port or serial number.
/// Throws DeviceError when it is not found or the connection fails.
void ConnectTo(Korvan& korvan, const std::string& target);

/// Sets the file's scan mode and, when connected, its tick time (DeviceError on failure).
void ApplyTiming(Korvan& korvan, const SequenceFile& file, bool connected);

/// The name the element model gives a result code.
const char* ResultName(unsigned int result);

}  // namespace tools
