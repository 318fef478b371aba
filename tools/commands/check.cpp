// korvan check FILE: compile a sequence file without a device and show what it would do.
#include "tools/calibration_gate.h"
#include "tools/commands/command.h"
#include "preview/beam_trace.h"
#include "tools/report.h"
#include "tools/run_length.h"

#include <cstdio>

namespace tools {
namespace {

struct Options {
    std::string file;
    bool json = false, allowUnsoundCalibration = false;
};

int Run(const Options& o) {
    // Offline: the file's own lasers, tick time and scan mode; no device, no process-wide state.
    sequence_file::SequenceFile file = sequence_file::ReadSequenceFile(o.file);
    CheckCalibrations(file, o.allowUnsoundCalibration, o.json);
    const sequence_file::CompiledSequence built(std::move(file));
    const SequenceAnalysis& a = built.analysis;
    const auto failure = built.Failure();
    const double tickUs = built.file.tickTime;
    const size_t shown = TimedElements(built);

    const unsigned long long light = a.illuminationTicks;
    const auto longRun = failure ? std::nullopt : LongRunWarning(built);
    if (o.json) {
        nlohmann::json out = CheckJson(built);
        out["file"] = o.file;
        if (failure) out["error"]["file"] = o.file;
        PrintJson(out);
    } else {
        std::printf("%s: %zu element(s), %zu laser(s), tick time %u us\n", o.file.c_str(), built.file.elements.size(),
                    built.file.lasers.size(), built.file.tickTime);
        std::printf("  %-4s %-10s %10s %10s %10s   (ticks)\n", "#", "element", "start", "duration", "light");
        for (size_t i = 0; i < shown; ++i)
            std::printf("  %-4zu %-10s %10u %10u %10u\n", i, built.file.elements[i].type.c_str(),
                        a.elements[i].startTick, a.elements[i].duration, a.elements[i].illumination);
        if (!failure) {
            std::printf("total: %llu ticks (%s), light %llu ticks (%s)\n", built.endTick,
                        FormatMicroseconds(static_cast<double>(built.endTick) * tickUs).c_str(), light,
                        FormatMicroseconds(static_cast<double>(preview::LightTimeUs(a))).c_str());
            std::printf("image: %zu bytes (main list %u, output list %zu); device memory needed: %zu bytes\n",
                        a.image.size(), a.mainListLength, a.image.size() - a.mainListLength, a.image.size());
            if (longRun) std::printf("warning: %s\n", longRun->c_str());
            std::printf("OK\n");
        }
    }
    if (failure) {
        std::fprintf(stderr, "korvan check: %s\n", Describe(o.file, *failure).c_str());
        return kExitUsage;
    }
    return kExitDone;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.add_option("FILE", o->file, "sequence file (JSON, see docs/sequence-format.md)")->required();
    app.add_flag("--json", o->json, "print the result as JSON");
    AddCalibrationOption(app, &o->allowUnsoundCalibration);
    return [o] { return Guarded("check", o->file, o->json, [o] { return Run(*o); }); };
}

}  // namespace

const Command kCheckCommand = {
    "check",
    "Compile a sequence file without a device: per element its start, duration and illumination "
    "time, the image size and the device memory it needs, or the first invalid element with its reason.",
    Setup};

}  // namespace tools
