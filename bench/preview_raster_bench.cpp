// `korvan preview` of a raster: a filled square hatched at a scan step of 10 device units, as
// large as the device memory takes (13000 units a side, 1300 rows, about 2.4 million mirror
// steps, an image of 31 MB). Goals: the whole preview (compile, execute, SVG and dose PNG) under
// 3 s with a peak resident size under 300 MB, and an SVG under 5 MB. The phases are timed apart
// so that a slow one shows. peak_rss_bytes is the process's high-water mark after the runs.
#include "preview/preview_files.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const char* const kRaster = R"({ "tickTime": 50, "units": "device",
  "lasers": [ { "name": "red", "port": "laser2", "stepSize": 10, "color": "#d62728" } ],
  "elements": [ { "type": "polygon", "fill": true, "laser": "red",
                  "points": [[20000, 20000], [33000, 20000], [33000, 33000], [20000, 33000]] } ] })";

double PeakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

std::string TempPath(const char* name) { return "/tmp/preview_bench_" + std::to_string(::getpid()) + name; }

long FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long>(in.tellg()) : -1;
}

void PreviewRaster(benchmark::State& state) {
    const std::string svg = TempPath(".svg"), png = TempPath(".png");
    size_t moves = 0;
    for (auto _ : state) {
        const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(kRaster, "."));
        if (built.Failure()) {
            state.SkipWithError("the raster does not compile");
            break;
        }
        moves = preview::WritePreview(built, svg, png).moves.size();
    }
    state.counters["svg_bytes"] = static_cast<double>(FileBytes(svg));
    state.counters["png_bytes"] = static_cast<double>(FileBytes(png));
    state.counters["moves_kept"] = static_cast<double>(moves);
    state.counters["peak_rss_bytes"] = PeakResidentBytes();
    std::remove(svg.c_str());
    std::remove(png.c_str());
}

void CompileRaster(benchmark::State& state) {
    for (auto _ : state) {
        const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(kRaster, "."));
        benchmark::DoNotOptimize(built.analysis.image.data());
    }
}

void TraceRaster(benchmark::State& state) {
    const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(kRaster, "."));
    const auto lasers = built.PreviewLasers();
    for (auto _ : state) {
        const preview::BeamTrace trace = preview::TraceCompiled(built.analysis, lasers);
        benchmark::DoNotOptimize(trace.moves.data());
    }
}

void DrawRaster(benchmark::State& state) {
    const sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(kRaster, "."));
    const auto lasers = built.PreviewLasers();
    const preview::BeamTrace trace = preview::TraceCompiled(built.analysis, lasers);
    const preview::PreviewLegend legend = preview::LegendOf("raster", built.analysis, trace, 1);
    const std::string svg = TempPath(".svg"), png = TempPath(".png");
    for (auto _ : state) preview::WritePictures(trace, lasers, legend, built.analysis.tickTime, svg, png);
    std::remove(svg.c_str());
    std::remove(png.c_str());
}

}  // namespace

// The whole preview first, so that its high-water mark is its own.
BENCHMARK(PreviewRaster)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(CompileRaster)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(TraceRaster)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(DrawRaster)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
