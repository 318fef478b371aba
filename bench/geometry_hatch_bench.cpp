#include <tessel/geometry/hatch_fill.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// A star-shaped polygon of 1000 vertices spanning about 5000 x 5000 units,
// with whole-unit corners as the device coordinates korvan passes in.
std::vector<Vector2f> makePolygon() {
    std::vector<Vector2f> polygon;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> radius(2000, 2500);
    for (int i = 0; i < 1000; ++i) {
        const double a = 2 * M_PI * i / 1000;
        const double r = radius(rng);
        polygon.emplace_back(static_cast<float>(std::round(2500 + r * std::cos(a))),
                             static_cast<float>(std::round(2500 + r * std::sin(a))));
    }
    return polygon;
}

void FragmentToLines1000x1000(benchmark::State& state) {
    const std::vector<Vector2f> polygon = makePolygon();
    // The interior spans about 7070 units of x + y: a spacing of 7 gives
    // about 1000 rows.
    const float spacing = 7.0f;
    std::size_t rows = 0;
    std::size_t segments = 0;
    for (auto _ : state) {
        auto* result = FragmentToLines(polygon, spacing);
        rows = result->size();
        segments = 0;
        for (const auto& row : *result) segments += row.size();
        Free(result);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["segments"] = static_cast<double>(segments);
}

BENCHMARK(FragmentToLines1000x1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
