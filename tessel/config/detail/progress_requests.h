#pragma once
// How the caller's thread reaches the progress display's thread: each position change and the
// close are queued, the display's thread is woken, and the caller waits until its own request
// has been handled, so that a returned UpdateValue means the value is on the screen.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace tessel::detail {

struct ProgressRequest {
    bool close;   // remove the display and end its thread
    int percent;  // the new position, 0..100, when not closing
};

class ProgressRequests {
public:
    /// Queues r, wakes the display and waits until r has been handled. Returns at once when
    /// the display has already finished.
    void Post(ProgressRequest r);

    // --- the display's thread ---

    /// Called (under the queue's lock, so it must not block) after each Post, in addition to
    /// the wake-up of WaitNext; a window's display posts itself a message here.
    void SetWaker(std::function<void()> waker);
    /// Blocks until a request is queued and takes it.
    ProgressRequest WaitNext();
    /// Takes every queued request without blocking.
    std::deque<ProgressRequest> TakeAll();
    /// The oldest `count` of the taken requests are on the screen; their callers return.
    void Handled(std::uint64_t count);
    /// The display is gone: every waiting and later Post returns at once.
    void Finish();

private:
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable handled_;
    std::deque<ProgressRequest> queue_;
    std::function<void()> waker_;
    std::uint64_t posted_ = 0;
    std::uint64_t done_ = 0;
    bool finished_ = false;
};

}  // namespace tessel::detail
