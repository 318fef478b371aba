// Host cost of RS232::Send for a full sequence memory image (33,000,000 bytes) written to a
// pseudo-terminal whose other end is drained as fast as it arrives. The line time of that many
// bytes at 3,000,000 baud (10 bits a byte) is 110 s; the goal is a host cost under 2% of it.
#include <tessel/serial/rs232.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kImageBytes = 33'000'000;

struct DrainedPty {
    DrainedPty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        std::string path = ptsname(master);
        name = path.substr(5);
        slave = open(path.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        reader = std::thread([this] {
            std::vector<char> buffer(1 << 16);
            // Blocking reads drain as fast as the bytes come; the destructor's close ends them.
            for (;;) {
                ssize_t n = read(master, buffer.data(), buffer.size());
                if (n <= 0) break;
                drained += n;
            }
        });
    }
    ~DrainedPty() {
        close(slave);  // the reader's read fails once the slave side is gone
        reader.join();
        close(master);
    }
    int master = -1;
    int slave = -1;
    std::string name;
    std::atomic<long long> drained{0};
    std::thread reader;
};

bool CountProgress(int, int) { return true; }

void BM_SendSequenceImage(benchmark::State& state) {
    DrainedPty pty;
    RS232 port;
    port.baudRate = 3000000;
    if (!port.Connect(pty.name.data())) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    if (state.range(0) != 0) port.sendProgressCallback = CountProgress;
    std::vector<unsigned char> image(kImageBytes);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 131u);
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!port.Send(image.data(), kImageBytes)) state.SkipWithError("send failed");
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetBytesProcessed(static_cast<long long>(state.iterations()) * kImageBytes);
    // Wall time of one send as a share of the 110 s the bytes take on the line.
    state.counters["pct_of_line_time"] = 100.0 * seconds / state.iterations() / 110.0;
}
BENCHMARK(BM_SendSequenceImage)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("progress")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
