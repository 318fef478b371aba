#include "tools/report.h"

#include "tools/run_length.h"
#include <preview/preview_files.h>

#include <tessel/config/progress_meter.h>

#include <cstdio>
#include <iostream>

namespace tools {

std::string Describe(const std::string& file, const InputError& error) {
    std::string s = file.empty() ? "" : file + ": ";
    if (!error.Pointer().empty()) s += error.Pointer() + ": ";
    return s + error.what();
}

namespace {

int UsageFailure(const char* verb, const char* message, bool json) {
    std::fprintf(stderr, "korvan %s: %s\n", verb, message);
    if (json) PrintJson({{"ok", false}, {"error", {{"kind", "usage"}, {"message", message}}}});
    return kExitUsage;
}

}  // namespace

int Guarded(const char* verb, const std::string& file, bool json, const std::function<int()>& body) {
    try {
        return body();
    } catch (const InputError& e) {
        std::fprintf(stderr, "korvan %s: %s\n", verb, Describe(file, e).c_str());
        if (json)
            PrintJson(
                {{"ok", false},
                 {"error", {{"kind", "input"}, {"file", file}, {"pointer", e.Pointer()}, {"message", e.what()}}}});
        return kExitUsage;
    } catch (const UsageError& e) {
        return UsageFailure(verb, e.what(), json);
    } catch (const preview::FileError& e) {
        return UsageFailure(verb, e.what(), json);
    } catch (const DeviceError& e) {
        std::fprintf(stderr, "korvan %s: %s\n", verb, e.what());
        if (json)
            PrintJson({{"ok", false}, {"error", {{"kind", "device"}, {"result", e.Result()}, {"message", e.what()}}}});
        return kExitDevice;
    }
}

size_t TimedElements(const sequence_file::CompiledSequence& built) {
    const SequenceAnalysis& a = built.analysis;
    // Timing is meaningful up to the failed element.
    return built.Failure() && a.failedElement >= 0 ? static_cast<size_t>(a.failedElement) : a.elements.size();
}

nlohmann::json CheckJson(const sequence_file::CompiledSequence& built) {
    const SequenceAnalysis& a = built.analysis;
    const auto failure = built.Failure();
    const size_t shown = TimedElements(built);
    nlohmann::json elements = nlohmann::json::array();
    for (size_t i = 0; i < shown; ++i)
        elements.push_back({{"index", i},
                            {"pointer", built.file.elements[i].pointer},
                            {"type", built.file.elements[i].type},
                            {"start", a.elements[i].startTick},
                            {"duration", a.elements[i].duration},
                            {"illumination", a.elements[i].illumination},
                            {"bytes", a.elements[i].imageBytes}});
    nlohmann::json out = {{"ok", !failure}, {"tickTime", built.file.tickTime}, {"elements", elements}};
    if (failure) {
        out["error"] = {{"kind", "input"}, {"pointer", failure->Pointer()}, {"message", failure->what()}};
        return out;
    }
    out["endTick"] = built.endTick;
    out["illuminationTicks"] = a.illuminationTicks;
    out["imageBytes"] = a.image.size();
    out["mainListBytes"] = a.mainListLength;
    out["deviceMemoryBytes"] = a.image.size();
    out["warnings"] = nlohmann::json::array();
    if (const auto longRun = LongRunWarning(built)) out["warnings"].push_back(*longRun);
    return out;
}

void PrintJson(const nlohmann::json& object) { std::cout << object.dump(2) << std::endl; }

void DrawProgress(const char* label, long long done, long long total) {
    if (total <= 0) return;
    // The library reports every block; the terminal needs a line a tenth of a second at most.
    static tessel::ProgressMeter meter;
    if (!meter.Update(done, total)) return;
    std::fprintf(stderr, "\r%s\x1b[K", meter.Line(label).c_str());
    if (done >= total) std::fputc('\n', stderr);
}

}  // namespace tools
