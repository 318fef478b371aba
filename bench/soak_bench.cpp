// Soak: 10,000 cycles of upload, start, wait for the end and delete against the virtual device
// at its fastest time scale, every 50th through fragmented device memory that the upload has to
// defragment. Reports the process's resident memory and open file descriptors before the first
// and after the last cycle (after a warm-up of 100 cycles, so allocator pools are in place).
//   soak_bench [--benchmark_...]   counters: rss_*_kib, fds_*, defragmentations, failures
#include "support/soak_cycle.h"

#include <benchmark/benchmark.h>

#include <algorithm>

#include <malloc.h>

namespace {

// Bytes the heap has handed out and not taken back: unlike resident memory, this does not move
// with how the allocator keeps freed pages, so growth here is memory someone still holds.
long HeapInUseKiB() { return static_cast<long>(mallinfo2().uordblks / 1024); }

constexpr unsigned long kCycles = 10000;
constexpr unsigned long kDefragEvery = 50;

void BM_SoakCycles(benchmark::State& state) {
    soak::Soak soak;
    if (!soak.Start()) {
        state.SkipWithError(soak.Error().c_str());
        return;
    }
    soak::Counts counts;
    for (int i = 0; i < 100; ++i) soak.Cycle(counts, kDefragEvery);
    const long rssStart = soak::ResidentKiB();
    const int fdsStart = soak::OpenFds();
    const long heapStart = HeapInUseKiB();
    long rssPeak = rssStart;
    for (auto _ : state) {
        soak.Cycle(counts, kDefragEvery);
        if (counts.cycles % 1000 == 0) rssPeak = std::max(rssPeak, soak::ResidentKiB());
    }
    state.counters["rss_start_kib"] = static_cast<double>(rssStart);
    state.counters["rss_end_kib"] = static_cast<double>(soak::ResidentKiB());
    state.counters["rss_peak_kib"] = static_cast<double>(rssPeak);
    state.counters["heap_start_kib"] = static_cast<double>(heapStart);
    state.counters["heap_end_kib"] = static_cast<double>(HeapInUseKiB());
    state.counters["fds_start"] = fdsStart;
    state.counters["fds_end"] = soak::OpenFds();
    state.counters["defragmentations"] = static_cast<double>(counts.defragmentations);
    state.counters["failures"] = static_cast<double>(counts.failures);
    if (counts.failures > 0) state.SetLabel(counts.firstFailure);
}
BENCHMARK(BM_SoakCycles)->Iterations(kCycles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
