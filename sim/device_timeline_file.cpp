// The executed timeline written out as CSV while the device runs.
#include <sim/device_timeline_file.h>

#include <fstream>

namespace sim {

bool TimelineFile::Open(std::string* error) {
    if (path_.empty()) return true;
    auto file = std::make_unique<std::ofstream>(path_, std::ios::trunc);
    if (!*file) {
        if (error) *error = "cannot write the timeline file " + path_;
        return false;
    }
    image::WriteCsvHeader(*file);
    file->flush();
    file_ = std::move(file);
    return true;
}

void TimelineFile::Append(SequenceRunner& runner) {
    if (!file_) return;
    runsWritten_ = runner.RunsEnded();
    runner.WriteNewRecords(*file_);
    file_->flush();  // readers follow the file while the device runs
}

void TimelineFile::AppendIfRunEnded(SequenceRunner& runner) {
    if (file_ && runner.RunsEnded() != runsWritten_) Append(runner);
}

}  // namespace sim
