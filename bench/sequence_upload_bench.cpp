// Upload of a full-size image (just below 33,000,000 bytes) to the virtual device over a
// pseudo-terminal: compile, announce, send, reply. Wall time and the host thread's CPU time.
#include "connected_device.h"
#include "sequence_points.h"

#include <sim/virtual_device.h>

#include <benchmark/benchmark.h>

namespace {

void UploadFullImage(benchmark::State& state) {
    sim::VirtualDevice device;
    Korvan korvan;
    if (!ConnectToVirtualDevice(state, device, korvan)) return;
    unsigned int id = 0;
    korvan.AddLaser(0, 0, 0, LaserOutput1, 0, 0, 0, &id);
    PointSequence sequence(kPointsNearLimit, id);
    unsigned int size = 0;
    korvan.CalcMemoryUsage(sequence.elements.data(), sequence.Count(), &size);
    for (auto _ : state) {
        unsigned short number = 0;
        if (korvan.UploadSequence(sequence.elements.data(), sequence.Count(), &number) != 0)
            state.SkipWithError("upload failed");
        state.PauseTiming();
        korvan.DeleteAllSequences();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
    state.counters["image_bytes"] = size;
    korvan.RemoveLaser(id);
    korvan.Disconnect();
}

}  // namespace

BENCHMARK(UploadFullImage)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
