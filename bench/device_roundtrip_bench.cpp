// Round trips of device commands against the virtual device over a pseudo-terminal, beside the
// time the same bytes take on a real line at 921600 baud (10 bits a byte), and beside the floor:
// the same 1 + 9 bytes exchanged over a bare pseudo-terminal between two threads, measured in the
// same run (goal: the state query within 2 x that floor).
#include <korvan/korvan.h>
#include "connected_device.h"

#include <sim/virtual_device.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr double kLineBaud = 921600.0;

double LineMicroseconds(int bytes) { return bytes * 10.0 / kLineBaud * 1e6; }

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

bool ReadFully(int fd, unsigned char* out, size_t n) {
    for (size_t got = 0; got < n;) {
        ssize_t r = read(fd, out + got, n - got);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

// `rounds` exchanges of 1 byte out and 9 bytes back over a raw pseudo-terminal, the answering
// thread blocked in read: what the kernel and two thread wake-ups cost, nothing else.
void MeasurePtyFloor(int rounds, std::vector<double>& micros) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    std::thread peer([master] {
        unsigned char request = 0;
        unsigned char reply[9] = {0x13, 0xFF};
        while (ReadFully(master, &request, 1) && request != 0) {
            if (write(master, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) break;
        }
    });
    unsigned char request = 0x13;
    unsigned char reply[9];
    for (int i = 0; i < rounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (write(slave, &request, 1) != 1 || !ReadFully(slave, reply, sizeof reply)) break;
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    unsigned char stop = 0;
    [[maybe_unused]] ssize_t n = write(slave, &stop, 1);
    peer.join();
    close(slave);
    close(master);
}

// Times each call on its own so the median is not hidden by the mean.
template <typename Call>
void MeasureRoundTrips(benchmark::State& state, int lineBytes, Call call, bool withFloor = false) {
    sim::VirtualDevice device;
    Korvan korvan;
    if (!ConnectToVirtualDevice(state, device, korvan)) return;
    // The floor is taken before and after the round trips, so that both see the same machine.
    std::vector<double> floorMicros;
    if (withFloor) MeasurePtyFloor(1000, floorMicros);
    std::vector<double> micros;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (call(korvan) != 0) state.SkipWithError("command failed");
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    korvan.Disconnect();
    const double median = Median(micros);
    state.counters["median_us"] = median;
    state.counters["line_us_921600"] = LineMicroseconds(lineBytes);
    if (withFloor) {
        MeasurePtyFloor(1000, floorMicros);
        const double floor = Median(floorMicros);
        state.counters["pty_floor_us"] = floor;
        state.counters["x_floor"] = floor > 0 ? median / floor : 0;
    }
}

void BM_GetState(benchmark::State& state) {
    // Request 1 byte, reply 9 bytes (firmware 16).
    MeasureRoundTrips(
        state, 1 + 9,
        [](Korvan& k) {
            State s;
            return k.GetState(&s);
        },
        true);
}
BENCHMARK(BM_GetState)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SetUserData60(benchmark::State& state) {
    // The write is preceded by its state query: 1 + 9 bytes, then 3 + 60 bytes and a 2-byte reply.
    MeasureRoundTrips(state, 10 + 63 + 2, [](Korvan& k) {
        unsigned char data[60];
        for (int i = 0; i < 60; ++i) data[i] = static_cast<unsigned char>(i);
        return k.SetUserData(data, 60);
    });
}
BENCHMARK(BM_SetUserData60)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
