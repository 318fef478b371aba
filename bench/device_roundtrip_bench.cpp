// Round trips of device commands against the virtual device over a pseudo-terminal, beside the
// time the same bytes take on a real line at 921600 baud (10 bits a byte).
#include <korvan/korvan.h>
#include <sim/virtual_device.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr double kLineBaud = 921600.0;

double LineMicroseconds(int bytes) { return bytes * 10.0 / kLineBaud * 1e6; }

// Times each call on its own so the median is not hidden by the mean.
template <typename Call>
void MeasureRoundTrips(benchmark::State& state, int lineBytes, Call call) {
    sim::VirtualDevice device;
    std::string error;
    if (!device.Start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    Korvan korvan;
    if (korvan.Connect(device.PortName().c_str()) != 0) {
        state.SkipWithError("cannot connect to the virtual device");
        return;
    }
    std::vector<double> micros;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (call(korvan) != 0) state.SkipWithError("command failed");
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    korvan.Disconnect();
    std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["line_us_921600"] = LineMicroseconds(lineBytes);
}

void BM_GetState(benchmark::State& state) {
    // Request 1 byte, reply 9 bytes (firmware 16).
    MeasureRoundTrips(state, 1 + 9, [](Korvan& k) {
        State s;
        return k.GetState(&s);
    });
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
