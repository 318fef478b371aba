// The hand-over between the callers of the progress functions and the display's thread: a
// returned Post means the display has handled that request, the order of each caller's requests
// is kept, and a display that has finished never leaves a caller waiting.
#include <tessel/config/detail/progress_requests.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using tessel::detail::ProgressRequest;
using tessel::detail::ProgressRequests;

namespace {

// What a display saw, shared with the callers so they can check it after Post returns.
struct Screen {
    std::mutex mutex;
    std::vector<int> shown;

    void Show(int percent) {
        std::lock_guard<std::mutex> lock(mutex);
        shown.push_back(percent);
    }
    bool Contains(int percent) {
        std::lock_guard<std::mutex> lock(mutex);
        for (int p : shown)
            if (p == percent) return true;
        return false;
    }
};

// A display that shows `limit` requests (then finishes as if its window were closed), or runs
// until a close when limit is negative. `batched` takes requests the way the window does:
// all at once after a wake-up, instead of one by one.
void RunDisplay(ProgressRequests& requests, Screen& screen, int limit, bool batched) {
    int handled = 0;
    if (!batched) {
        for (;;) {
            if (handled == limit) break;
            const ProgressRequest r = requests.WaitNext();
            if (r.close) break;
            screen.Show(r.percent);
            ++handled;
            requests.Handled(1);
        }
        requests.Finish();
        return;
    }
    for (;;) {
        // Polls instead of waiting for a message; the waker only counts here.
        for (const ProgressRequest& r : requests.TakeAll()) {
            if (r.close || handled == limit) {
                requests.Finish();
                return;
            }
            screen.Show(r.percent);
            ++handled;
            requests.Handled(1);
        }
        if (handled == limit) break;
        std::this_thread::yield();
    }
    requests.Finish();
}

struct Case {
    const char* what;
    int callers;
    int perCaller;
    int limit;  // requests the display shows before it finishes by itself; -1: until the close
    bool batched;
};

class ProgressRequestsTest : public ::testing::TestWithParam<Case> {};

TEST_P(ProgressRequestsTest, PostReturnsOnlyOnceShownAndNeverHangs) {
    const Case c = GetParam();
    ProgressRequests requests;
    Screen screen;
    std::atomic<int> wakes{0};
    requests.SetWaker([&] { ++wakes; });
    std::thread display([&] { RunDisplay(requests, screen, c.limit, c.batched); });

    std::atomic<int> shownWhenReturned{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < c.callers; ++t) {
        callers.emplace_back([&, t] {
            for (int i = 0; i < c.perCaller; ++i) {
                const int value = t * 1000 + i;  // unique per request
                requests.Post(ProgressRequest{false, value});
                if (screen.Contains(value)) ++shownWhenReturned;
            }
        });
    }
    for (std::thread& t : callers) t.join();
    requests.Post(ProgressRequest{true, 0});
    display.join();
    requests.Post(ProgressRequest{false, 7});  // after the end: returns at once

    const int total = c.callers * c.perCaller;
    const int expectedShown = c.limit < 0 ? total : std::min(total, c.limit);
    EXPECT_EQ(static_cast<int>(screen.shown.size()), expectedShown);
    // Every request that the display handled had been shown when its Post returned.
    EXPECT_EQ(shownWhenReturned.load(), expectedShown);
    // Each caller's requests appear in the order they were posted.
    std::vector<int> last(static_cast<std::size_t>(c.callers), -1);
    for (int value : screen.shown) {
        const std::size_t caller = static_cast<std::size_t>(value / 1000);
        ASSERT_LT(caller, last.size());
        EXPECT_GT(value % 1000, last[caller]) << "caller " << caller;
        last[caller] = value % 1000;
    }
    if (c.limit < 0) EXPECT_GE(wakes.load(), total + 1) << "the waker runs on every Post";
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressRequestsTest,
                         ::testing::Values(Case{"one caller, one by one", 1, 200, -1, false},
                                           Case{"four callers, one by one", 4, 100, -1, false},
                                           Case{"four callers, batched", 4, 100, -1, true},
                                           Case{"display ends early, one by one", 3, 100, 37, false},
                                           Case{"display ends early, batched", 3, 100, 37, true},
                                           Case{"display ends before anything", 2, 20, 0, false}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return "Case" + std::to_string(info.index);
                         });

}  // namespace
