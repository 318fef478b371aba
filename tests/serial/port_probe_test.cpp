// Asking many ports side by side: results keep the ports' order, probes really overlap, at most
// the limit run at once, and a failing probe does not leave the others running.
#include <tessel/serial/port_probe.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(size_t n) {
    std::vector<std::string> names;
    for (size_t i = 0; i < n; ++i) names.push_back("pts/" + std::to_string(i));
    return names;
}

// Counts probes running at the same time; each waits until `wanted` run together or a second passed.
struct Overlap {
    std::mutex mutex;
    std::condition_variable changed;
    size_t running = 0, most = 0;

    void Probe(size_t wanted) {
        std::unique_lock<std::mutex> lock(mutex);
        most = std::max(most, ++running);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(1), [&] { return most >= wanted; });
        --running;
    }
};

TEST(ProbeEach, ResultsKeepTheOrderOfThePortsWhateverTheCount) {
    for (size_t n : {0u, 1u, 2u, 15u, 16u, 17u, 50u}) {
        const std::vector<std::string> names = Names(n);
        size_t calls = 0;
        std::mutex m;
        const std::vector<std::string> got = tessel::ProbeEach(names, [&](const std::string& name) {
            std::lock_guard<std::mutex> lock(m);
            ++calls;
            return name + "!";
        });
        ASSERT_EQ(got.size(), n);
        EXPECT_EQ(calls, n);
        for (size_t i = 0; i < n; ++i) EXPECT_EQ(got[i], names[i] + "!") << n;
    }
}

TEST(ProbeEach, PortsAreAskedAtOnceUpToTheLimit) {
    // Eight probes that each wait for all eight: they finish at once only when they overlap.
    Overlap eight;
    const auto start = std::chrono::steady_clock::now();
    tessel::ProbeEach(Names(8), [&](const std::string&) {
        eight.Probe(8);
        return 0;
    });
    EXPECT_EQ(eight.most, 8u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));

    // Forty probes: never more than the limit at once, and the limit is reached.
    Overlap forty;
    tessel::ProbeEach(Names(40), [&](const std::string&) {
        forty.Probe(tessel::kMaxConcurrentProbes);
        return 0;
    });
    EXPECT_EQ(forty.most, tessel::kMaxConcurrentProbes);
}

TEST(ProbeEach, AFailingProbeIsThrownAfterEveryProbeEnded) {
    std::mutex m;
    size_t ended = 0;
    EXPECT_THROW(tessel::ProbeEach(Names(20),
                                   [&](const std::string& name) {
                                       std::lock_guard<std::mutex> lock(m);
                                       ++ended;
                                       if (name == "pts/3") throw std::runtime_error("port vanished");
                                       return 1;
                                   }),
                 std::runtime_error);
    EXPECT_EQ(ended, 20u);
}

}  // namespace
