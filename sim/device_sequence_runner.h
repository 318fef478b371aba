#pragma once
// Runs stored sequences for the device command protocol: the image executor on the device clock.
//
// Clock. With a time scale s > 0 one device microsecond lasts s wall-clock microseconds (1: real
// time, 2: half speed). With 0 the device runs as fast as it can: device time jumps from slot to
// slot, and a wait holds no device time (it is released at the device time it was reached), so
// timelines do not depend on how quickly a test reacts. Either way at most kChunkSlots slots run
// per Advance(), so that the device keeps answering commands while a long or endless sequence
// runs; in real time a slot runs within about a millisecond of its due time.
#include <sim/image/executor.h>
#include <sim/image/timeline.h>

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>

namespace sim {

/// What the device is running, as tests see it.
struct RunState {
    bool active = false;                       ///< a started sequence has not ended or been stopped
    image::Phase phase = image::Phase::Ended;  ///< Ended when not active
    int sequence = -1;                         ///< number of the running sequence
    uint32_t run = 0;         ///< current run from 1; 0 while the start input holds; the last one's after the end
    int waitPort = -1;        ///< the input a wait (or the armed start) holds for; -1: none
    uint8_t waitTrigger = 0;  ///< what that wait asks for: 1 high, 2 low
};

class SequenceRunner {
public:
    static constexpr size_t kChunkSlots = 20000;

    /// 0: as fast as possible; s > 0: s wall-clock seconds per device second.
    void SetTimeScale(double scale) { scale_ = scale > 0 ? scale : 0; }
    double TimeScale() const { return scale_; }

    /// Begins executing `image` now; executed outputs go to `sink`, which must outlive the run.
    void Start(std::shared_ptr<const image::DecodedImage> image, const image::StartParams& params,
               image::OutputSink* sink);
    /// Executes what is due. Returns the wall-clock milliseconds until more is due: 0 when more
    /// is due at once, -1 when nothing is scheduled (nothing runs, or a wait holds).
    int Advance();
    /// Ends the run at once (recorded as a stop).
    void Stop();
    /// The device clock now: the running sequence's time, or after a run the time it ended at
    /// (moving on in wall time with a time scale above 0). What the host sets directly between
    /// runs is stamped with it.
    uint64_t DeviceTimeUs() const;
    /// Passes an input change to the running sequence.
    void SetInput(int port, bool high);
    /// Releases a wait for the user; false when nothing waits for the user.
    bool AcknowledgeUser();

    bool Active() const { return executor_ != nullptr; }
    RunState State() const;

    image::Timeline& Timeline() { return timeline_; }
    /// Runs that reached their end since construction.
    uint64_t RunsEnded() const { return runsEnded_ + (executor_ ? executor_->RunsEnded() : 0); }
    /// Writes the records not written before as CSV lines (see timeline.h); after a clear of the
    /// timeline it starts again from its first record.
    void WriteNewRecords(std::ostream& out);

private:
    uint64_t DeviceNowUs() const;
    void FinishIfEnded();

    double scale_ = 0;
    std::unique_ptr<image::Executor> executor_;
    image::Timeline timeline_;
    std::chrono::steady_clock::time_point origin_;
    uint64_t runsEnded_ = 0;
    uint32_t lastRun_ = 0;
    uint64_t endedAtUs_ = 0;  // device time at which the last run ended or was stopped
    std::chrono::steady_clock::time_point endedAt_ = std::chrono::steady_clock::now();
    size_t written_ = 0;
};

}  // namespace sim
