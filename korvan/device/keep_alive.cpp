#include <korvan/device/detail/keep_alive.h>

#include <korvan/device/detail/device_state.h>

#include <chrono>

namespace korvan::detail {
namespace {

constexpr std::chrono::milliseconds kQueryInterval{500};

void Poll(Session* session, const std::atomic<bool>* stopFlag) {
    const auto& stop = *stopFlag;
    while (!stop.load()) {
        // Timed by the clock, not by counting sleeps: where a 1 ms sleep lasts a scheduler tick
        // (about 16 ms on Windows), 500 of them would stretch the interval to seconds.
        const auto due = std::chrono::steady_clock::now() + kQueryInterval;
        while (std::chrono::steady_clock::now() < due) {
            if (stop.load()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // Local destinations: the session's cached state stays as its owner left it.
        State state = NotConnected;
        unsigned int counter = 0;
        unsigned short statusWord = 0;
        QueryState(*session, &state, &counter, &statusWord);
    }
}

}  // namespace

KeepAlivePoller::KeepAlivePoller(Session& session) { worker_ = std::thread(Poll, &session, &stop_); }

KeepAlivePoller::~KeepAlivePoller() { Stop(); }

void KeepAlivePoller::Stop() {
    stop_.store(true);
    if (worker_.joinable()) worker_.join();
}

}  // namespace korvan::detail
