// korvan preview FILE -o OUT.svg [--dose OUT.png]: draw what the beam will do, without a device.
#include "tools/calibration_gate.h"
#include "tools/commands/command.h"
#include "preview/preview_files.h"
#include "tools/report.h"

#include <cstdio>

namespace tools {
namespace {

struct Options {
    std::string file, svg, png;
    bool json = false, allowUnsoundCalibration = false;
};

int Run(const Options& o) {
    sequence_file::SequenceFile file = sequence_file::ReadSequenceFile(o.file);
    CheckCalibrations(file, o.allowUnsoundCalibration, o.json);
    const sequence_file::CompiledSequence built(std::move(file));
    built.ThrowIfFailed();
    const preview::BeamTrace trace = preview::WritePreview(built, o.svg, o.png);
    if (o.json) {
        nlohmann::json out = {{"ok", true},
                              {"file", o.file},
                              {"svg", o.svg},
                              {"durationUs", trace.endUs},
                              {"litUs", trace.litUs},
                              {"moves", trace.moves.size()},
                              {"litStays", trace.stays.size()},
                              {"outputMarks", trace.marks.size()},
                              {"waitsReleased", trace.waitsReleased},
                              {"truncated", trace.truncated},
                              {"imageBytes", built.analysis.image.size()}};
        if (!o.png.empty()) out["dose"] = o.png;
        PrintJson(out);
    } else {
        std::printf("%s: %s of device time, light on for %s, %zu mirror moves\n", o.file.c_str(),
                    FormatMicroseconds(static_cast<double>(trace.endUs)).c_str(),
                    FormatMicroseconds(static_cast<double>(trace.litUs)).c_str(), trace.moves.size());
        if (trace.waitsReleased) std::printf("  %zu wait(s) released at once for the preview\n", trace.waitsReleased);
        if (trace.truncated) std::printf("  stopped early: too many slots to draw\n");
        std::printf("wrote %s\n", o.svg.c_str());
        if (!o.png.empty()) std::printf("wrote %s (light dose per area)\n", o.png.c_str());
    }
    return kExitDone;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.add_option("FILE", o->file, "sequence file (JSON)")->required();
    app.add_option("-o,--output", o->svg, "the SVG picture to write")->required();
    app.add_option("--dose", o->png, "also write a heat map of the light per area as PNG");
    app.add_flag("--json", o->json, "print the result as JSON");
    AddCalibrationOption(app, &o->allowUnsoundCalibration);
    return [o] { return Guarded("preview", o->file, o->json, [o] { return Run(*o); }); };
}

}  // namespace

const Command kPreviewCommand = {
    "preview",
    "Compile a sequence file, execute the image with the virtual device's executor (no device) and "
    "draw what the beam does as SVG; --dose adds a PNG heat map of the light delivered per area.",
    Setup};

}  // namespace tools
