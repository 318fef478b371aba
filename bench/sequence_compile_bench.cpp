// CalcMemoryUsage of point sequences: a full-size image (goal: at most 0.5 s and a peak memory
// growth of at most 4 times the image) and a small one (which must not touch the large buffers).
// Peak growth is the rise of the process's resident high-water mark during the calls.
#include "sequence_points.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

double PeakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

void CalcMemoryUsage(benchmark::State& state) {
    Korvan korvan;
    unsigned int id = 0;
    korvan.AddLaser(0, 0, 0, LaserOutput1, 0, 0, 0, &id);
    PointSequence sequence(static_cast<std::size_t>(state.range(0)), id);
    const double before = PeakResidentBytes();
    unsigned int size = 0;
    for (auto _ : state) {
        if (korvan.CalcMemoryUsage(sequence.elements.data(), sequence.Count(), &size) != 0)
            state.SkipWithError("compilation failed");
    }
    const double growth = PeakResidentBytes() - before;
    state.counters["image_bytes"] = size;
    state.counters["peak_growth_bytes"] = growth;
    state.counters["growth_per_image_byte"] = size > 0 ? growth / size : 0;
    korvan.RemoveLaser(id);
}

}  // namespace

// The small case first, so that the large one cannot have raised the high-water mark before it.
BENCHMARK(CalcMemoryUsage)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(CalcMemoryUsage)->Arg(kPointsNearLimit)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
