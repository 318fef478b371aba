#include <tessel/config/progress_bar.h>

#include <tessel/config/detail/terminal.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {

constexpr std::size_t kTitleLimit = 1000;  // bytes, terminating NUL included
constexpr int kBarWidth = 30;

// Cuts text to at most limit bytes without splitting a UTF-8 sequence.
std::string cutBytes(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// The display and its thread. Requests are handled one at a time on the
// thread, and the caller waits for its own request to be done, so that a
// returned UpdateValue means the value is on the screen.
class ProgressDisplay {
public:
    ProgressDisplay(std::string title, bool terminal) : title_(std::move(title)), terminal_(terminal) {}
    ~ProgressDisplay() { close(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    bool start() {
        try {
            thread_ = std::thread(&ProgressDisplay::run, this);
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    void setPosition(int percent) { request(Request{false, percent}); }

    void close() {
        request(Request{true, 0});
        if (thread_.joinable()) thread_.join();
    }

private:
    struct Request {
        bool close;
        int percent;
    };

    void request(Request r) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (closed_ || !thread_.joinable()) return;
        queue_.push_back(r);
        const std::uint64_t ticket = ++posted_;
        wake_.notify_all();
        done_.wait(lock, [&] { return handled_ >= ticket; });
    }

    void run() {
        draw(0);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return !queue_.empty(); });
            const Request r = queue_.front();
            queue_.pop_front();
            if (r.close) {
                if (terminal_) tessel::detail::writeStderr("\r\x1b[K");
                closed_ = true;
                handled_ = posted_;  // nothing after the close is ever handled
                queue_.clear();
                done_.notify_all();
                return;
            }
            draw(r.percent);
            ++handled_;
            done_.notify_all();
        }
    }

    void draw(int percent) const {
        if (!terminal_) return;
        const int filled = percent * kBarWidth / 100;
        std::string bar = " [" + std::string(static_cast<std::size_t>(filled), '#') +
                          std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                          std::to_string(percent) + "%";
        // One line only: the title gives way when the terminal is narrow.
        const int columns = tessel::detail::stderrColumns();
        const std::size_t room = static_cast<std::size_t>(std::max(0, columns - 1 - static_cast<int>(bar.size())));
        tessel::detail::writeStderr("\r" + cutBytes(title_, room) + bar + "\x1b[K");
    }

    const std::string title_;
    const bool terminal_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Request> queue_;
    std::uint64_t posted_ = 0;
    std::uint64_t handled_ = 0;
    bool closed_ = false;
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
    const std::string text = cutBytes(title ? title : "", kTitleLimit - 1);
    auto display = std::make_shared<ProgressDisplay>(text, tessel::detail::stderrIsTerminal());
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
