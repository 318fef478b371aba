#include <tessel/config/detail/progress_requests.h>

namespace tessel::detail {

void ProgressRequests::Post(ProgressRequest r) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (finished_) return;
    queue_.push_back(r);
    const std::uint64_t ticket = ++posted_;
    queued_.notify_all();
    if (waker_) waker_();
    handled_.wait(lock, [&] { return finished_ || done_ >= ticket; });
}

void ProgressRequests::SetWaker(std::function<void()> waker) {
    std::lock_guard<std::mutex> lock(mutex_);
    waker_ = std::move(waker);
}

ProgressRequest ProgressRequests::WaitNext() {
    std::unique_lock<std::mutex> lock(mutex_);
    queued_.wait(lock, [&] { return !queue_.empty(); });
    const ProgressRequest r = queue_.front();
    queue_.pop_front();
    return r;
}

std::deque<ProgressRequest> ProgressRequests::TakeAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<ProgressRequest> taken;
    taken.swap(queue_);
    return taken;
}

void ProgressRequests::Handled(std::uint64_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ += count;
    handled_.notify_all();
}

void ProgressRequests::Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    queue_.clear();
    waker_ = nullptr;
    handled_.notify_all();
}

}  // namespace tessel::detail
