#include <tessel/config/progress_bar.h>

#include <tessel/config/detail/progress_display.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {

using tessel::detail::ProgressRequest;
using tessel::detail::ProgressRequests;

constexpr std::size_t kTitleLimit = 1000;  // bytes, terminating NUL included

// One display and its thread; what it looks like is the platform's (detail/progress_display.h).
class ProgressDisplay {
public:
    explicit ProgressDisplay(std::string title) : title_(std::move(title)) {}
    ~ProgressDisplay() { close(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    bool start() {
        try {
            thread_ = std::thread([this] { tessel::detail::RunProgressDisplay(title_, requests_); });
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    void setPosition(int percent) {
        if (thread_.joinable()) requests_.Post(ProgressRequest{false, percent});
    }

    void close() {
        if (!thread_.joinable()) return;
        requests_.Post(ProgressRequest{true, 0});
        thread_.join();
    }

private:
    const std::string title_;
    ProgressRequests requests_;
    std::thread thread_;
};

// Process-wide state of the progress display: the one that is driven.
struct ProgressState {
    std::mutex showing;  // serialises ShowProgressBar calls
    std::mutex mutex;
    std::shared_ptr<ProgressDisplay> current;
};

ProgressState& progressState() {
    static ProgressState state;
    return state;
}

std::shared_ptr<ProgressDisplay> currentDisplay() {
    ProgressState& state = progressState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.current;
}

}  // namespace

int ShowProgressBar(const char* title) {
    ProgressState& state = progressState();
    std::lock_guard<std::mutex> showing(state.showing);
    // One display at a time: the old one goes before the new one draws.
    CloseProgressBar();
    auto display = std::make_shared<ProgressDisplay>(tessel::detail::CutUtf8(title ? title : "", kTitleLimit - 1));
    if (!display->start()) return 0;
    std::lock_guard<std::mutex> lock(state.mutex);
    state.current = std::move(display);
    return 1;
}

int UpdateValue(int percent) {
    if (const auto display = currentDisplay()) display->setPosition(std::clamp(percent, 0, 100));
    return 0;
}

int CloseProgressBar() {
    std::shared_ptr<ProgressDisplay> display;
    {
        ProgressState& state = progressState();
        std::lock_guard<std::mutex> lock(state.mutex);
        display = std::move(state.current);
    }
    if (display) display->close();
    return 0;
}
