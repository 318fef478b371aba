// Latency of RS232Async: from the moment the last byte of a reply is written on the other end of
// a pseudo-terminal until the framed reply reaches receiveCallback (goal: about a millisecond).
#include <tessel/serial/rs232_async.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
std::atomic<long long> g_deliveredAt{0};
std::atomic<int> g_deliveredLength{0};

long long Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void OnReply(unsigned char*, int length) {
    g_deliveredLength = length;
    g_deliveredAt = Now();
}

void BM_ReplyToCallback(benchmark::State& state) {
    const int length = static_cast<int>(state.range(0));
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    std::string name = std::string(ptsname(master)).substr(5);
    // Keeps the line up and raw between opens.
    int keeper = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(keeper, &tio);
    cfmakeraw(&tio);
    tcsetattr(keeper, TCSANOW, &tio);

    RS232Async line;
    line.receiveCallback = OnReply;
    line.AddCommand(0x13, length);
    if (!line.Connect(name.data())) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    std::vector<unsigned char> reply(static_cast<size_t>(length), 0x5A);
    reply[0] = 0x13;
    std::vector<double> micros;
    for (auto _ : state) {
        g_deliveredAt = 0;
        const long long sent = Now();
        if (write(master, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) {
            state.SkipWithError("write failed");
            break;
        }
        const long long limit = sent + 1'000'000'000LL;
        while (g_deliveredAt == 0 && Now() < limit) std::this_thread::yield();
        if (g_deliveredAt == 0 || g_deliveredLength != length) {
            state.SkipWithError("no reply reached the callback");
            break;
        }
        micros.push_back((g_deliveredAt - sent) / 1000.0);
    }
    line.Disconnect();
    close(keeper);
    close(master);
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}
BENCHMARK(BM_ReplyToCallback)->Arg(10)->Arg(100)->ArgName("reply_bytes")->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
