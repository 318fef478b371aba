#include <tessel/config/ini_file.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Writes the calibration file of a 100-point table as korvan does: each value
// through its own SetValue, so every call reads and rewrites the whole file.
void SaveHundredPointCalibration(benchmark::State& state) {
    std::string dir = (std::filesystem::temp_directory_path() / "tessel-ini-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("no temporary directory");
        return;
    }
    const std::string file = dir + "/calibration.ini";
    const char* path = file.c_str();
    char value[100];
    for (auto _ : state) {
        bool ok = CIniFile::Create(path) && CIniFile::AddSection("Spot", path) &&
                  CIniFile::SetValue("ScanStepSize", "100", "Spot", path) &&
                  CIniFile::AddSection("Calibration", path) &&
                  CIniFile::SetValue("PointCNT", "100", "Calibration", path);
        for (int i = 0; i < 100 && ok; ++i) {
            for (const char* axis : {"CamX", "CamY", "DevX", "DevY"}) {
                const std::string key = "P" + std::to_string(i) + axis;
                std::snprintf(value, sizeof value, "%f", 655.35 * i);
                ok = ok && CIniFile::SetValue(key.c_str(), value, "Calibration", path);
            }
        }
        if (!ok) state.SkipWithError("write failed");
    }
    state.counters["keys"] = 400;
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
    std::filesystem::remove_all(dir);
}

BENCHMARK(SaveHundredPointCalibration)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
