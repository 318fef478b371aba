#include <sim/device_sequence_runner.h>

#include <algorithm>
#include <cmath>
#include <ostream>

namespace sim {

using Clock = std::chrono::steady_clock;

void SequenceRunner::Start(std::shared_ptr<const image::DecodedImage> image, const image::StartParams& params,
                           image::OutputSink* sink) {
    Stop();
    origin_ = Clock::now();
    executor_ = std::make_unique<image::Executor>(std::move(image), params, &timeline_, sink);
}

uint64_t SequenceRunner::DeviceNowUs() const {
    const uint64_t executed = executor_->NowUs();
    if (scale_ == 0) return executed;
    const double wallUs = std::chrono::duration<double, std::micro>(Clock::now() - origin_).count();
    return std::max(executed, static_cast<uint64_t>(wallUs / scale_));
}

int SequenceRunner::Advance() {
    if (!executor_) return -1;
    const uint64_t now = scale_ == 0 ? UINT64_MAX : DeviceNowUs();
    const bool more = executor_->Advance(now, kChunkSlots);
    const auto next = executor_->NextDueUs();
    FinishIfEnded();
    // As fast as possible, a sequence that never ends would otherwise keep this thread spinning and
    // starve the host beside it: between chunks the line gets a millisecond (input wakes it at once).
    if (more) return scale_ == 0 ? 1 : 0;
    if (!next || scale_ == 0) return -1;
    // Round up: waking early would only spin; a millisecond late is within the promise.
    const double wallDueUs = static_cast<double>(*next) * scale_;
    const double wallNowUs = std::chrono::duration<double, std::micro>(Clock::now() - origin_).count();
    if (wallDueUs <= wallNowUs) return 0;
    return static_cast<int>(std::min(std::ceil((wallDueUs - wallNowUs) / 1000.0), 1e6));
}

void SequenceRunner::FinishIfEnded() {
    if (executor_ && executor_->GetPhase() == image::Phase::Ended) {
        runsEnded_ += executor_->RunsEnded();
        lastRun_ = executor_->Run();
        endedAtUs_ = executor_->NowUs();
        endedAt_ = Clock::now();
        executor_.reset();
    }
}

void SequenceRunner::Stop() {
    if (!executor_) return;
    executor_->Stop(DeviceNowUs());
    FinishIfEnded();
}

uint64_t SequenceRunner::DeviceTimeUs() const {
    if (executor_) return DeviceNowUs();
    if (scale_ == 0) return endedAtUs_;
    const double wallUs = std::chrono::duration<double, std::micro>(Clock::now() - endedAt_).count();
    return endedAtUs_ + static_cast<uint64_t>(wallUs / scale_);
}

void SequenceRunner::SetInput(int port, bool high) {
    if (executor_) executor_->SetInput(port, high, DeviceNowUs());
}

bool SequenceRunner::AcknowledgeUser() { return executor_ && executor_->AcknowledgeUser(DeviceNowUs()); }

RunState SequenceRunner::State() const {
    RunState s;
    s.run = lastRun_;
    if (!executor_) return s;
    s.active = true;
    s.phase = executor_->GetPhase();
    s.sequence = executor_->SequenceNumber();
    s.run = executor_->Run();
    s.waitPort = executor_->WaitPort();
    s.waitTrigger = executor_->WaitTrigger();
    return s;
}

void SequenceRunner::WriteNewRecords(std::ostream& out) {
    const auto& records = timeline_.Records();
    if (written_ > records.size()) written_ = 0;  // cleared since the last write
    image::WriteCsv(out, records.data() + written_, records.size() - written_);
    written_ = records.size();
}

}  // namespace sim
