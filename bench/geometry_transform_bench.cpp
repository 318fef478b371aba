#include <tessel/geometry/coordinate_transformation.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// An n x n calibration grid: camera pixels 0..1000 to mirror positions over
// 0..65535, slightly rotated and distorted as a real one is.
std::vector<CalibrationPoint> makeGrid(int n) {
    std::vector<CalibrationPoint> grid;
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> jitter(-3, 3);
    for (int row = 0; row < n; ++row) {
        for (int col = 0; col < n; ++col) {
            const float cx = 1000.0f * col / (n - 1);
            const float cy = 1000.0f * row / (n - 1);
            const float dx = 65.535f * (cx + 0.02f * cy) + jitter(rng);
            const float dy = 65.535f * (cy - 0.02f * cx) + 0.00002f * cx * cx + jitter(rng);
            grid.emplace_back(Vector2f(cx + jitter(rng), cy + jitter(rng)), Vector2f(dx, dy));
        }
    }
    return grid;
}

void CameraToDevice(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<CalibrationPoint> grid = makeGrid(n);
    std::vector<Vector2f> points;
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> coord(-50, 1050);
    for (int i = 0; i < 4096; ++i) points.emplace_back(coord(rng), coord(rng));
    std::size_t i = 0;
    for (auto _ : state) {
        const Vector2f d = CoordinateTransformation::TransformCameraToDeviceCoordinates(points[i++ & 4095], grid.data(),
                                                                                        static_cast<unsigned>(n * n));
        benchmark::DoNotOptimize(d);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetLabel(std::to_string(n * n) + " entries");
}

BENCHMARK(CameraToDevice)->Arg(4)->Arg(10);

}  // namespace

BENCHMARK_MAIN();
