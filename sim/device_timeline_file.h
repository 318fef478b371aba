#pragma once
// The executed timeline as a CSV file beside the running device (sim/image/timeline.h), for
// korvan-sim's --timeline and tools that watch a long run: created when the device starts, the
// new records appended whenever a run ends, the rest when the device stops.
#include <sim/device_sequence_runner.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace sim {

class TimelineFile {
public:
    // Where to write; empty: nowhere (the default).
    void SetPath(std::string path) { path_ = std::move(path); }
    // Creates the file with its header. False (with `error`) when it cannot be written.
    bool Open(std::string* error);
    // Appends the records `runner` executed since the last write.
    void Append(SequenceRunner& runner);
    // The same, only when a run has ended since the last write.
    void AppendIfRunEnded(SequenceRunner& runner);

private:
    std::string path_;
    std::unique_ptr<std::ostream> file_;
    uint64_t runsWritten_ = 0;
};

}  // namespace sim
