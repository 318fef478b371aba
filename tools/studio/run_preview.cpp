// The preview overlays of a document: the traced beam per element in camera pixels, a dose grid
// over the lit area, the per-element timing and the time strip of outputs and waits.
#include "preview/beam_trace.h"
#include "tools/report.h"
#include "tools/studio/run_routes.h"

#include <algorithm>
#include <cmath>

namespace fs = std::filesystem;

namespace tools::studio {
namespace {

// The dose grid's longer side, in cells.
constexpr double kDoseCells = 48;

bool IsBeam(const std::string& type) {
    return type == "point" || type == "line" || type == "ellipse" || type == "polygon";
}

// A stay or a move of the trace, in time order.
struct Step {
    uint64_t startUs = 0;
    const preview::Move* move = nullptr;
    const preview::Stay* stay = nullptr;
};

int FirstLaser(unsigned int mask) {
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i)) return i;
    return -1;
}

double LitIntensity(unsigned int mask, const double (&intensity)[4]) {
    double sum = 0;
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i)) sum += intensity[i];
    return sum;
}

// Light (microseconds times intensity) at camera points, binned into a grid over their extent.
class DoseGrid {
public:
    void Add(double x, double y, double dose) {
        if (dose > 0) samples_.push_back({x, y, dose});
    }
    nlohmann::json Json() const {
        if (samples_.empty())
            return {{"width", 0}, {"height", 0}, {"cell", 1}, {"origin", {0, 0}}, {"max", 0}, {"values", {}}};
        double x0 = samples_[0].x, x1 = x0, y0 = samples_[0].y, y1 = y0;
        for (const Sample& s : samples_) {
            x0 = std::min(x0, s.x), x1 = std::max(x1, s.x), y0 = std::min(y0, s.y), y1 = std::max(y1, s.y);
        }
        const double cell = std::max(1.0, std::max(x1 - x0, y1 - y0) / kDoseCells);
        const int width = static_cast<int>((x1 - x0) / cell) + 1, height = static_cast<int>((y1 - y0) / cell) + 1;
        std::vector<double> values(static_cast<size_t>(width) * height, 0.0);
        for (const Sample& s : samples_) {
            const int cx = std::min(width - 1, static_cast<int>((s.x - x0) / cell));
            const int cy = std::min(height - 1, static_cast<int>((s.y - y0) / cell));
            values[static_cast<size_t>(cy) * width + cx] += s.dose;
        }
        const double max = *std::max_element(values.begin(), values.end());
        return {{"width", width},     {"height", height}, {"cell", cell},
                {"origin", {x0, y0}}, {"max", max},       {"values", values}};
    }

private:
    struct Sample {
        double x, y, dose;
    };
    std::vector<Sample> samples_;
};

// The label of an output or wait element for the strip, from the document's own fields.
std::string StripLabel(const nlohmann::json& element, const std::string& type) {
    std::string label = type;
    if (element.contains("port") && element["port"].is_string()) label += " " + element["port"].get<std::string>();
    if (element.contains("input")) label += " input " + element["input"].dump();
    if (element.contains("value")) label += (type == "waitUser" ? " " : " = ") + element["value"].dump();
    if (type == "waitInput") label += element.value("trigger", 1) == 2 ? " low" : " high";
    return label;
}

const char* StripKind(const std::string& type) {
    if (type == "setTTL" || type == "pulseTTL") return "ttl";
    if (type == "setAnalog") return "analog";
    if (type == "waitInput" || type == "waitUser") return "wait";
    return nullptr;
}

}  // namespace

nlohmann::json PreviewSequence(const Folder& folder, const std::string& path, const std::string& body) {
    const fs::path base = path.empty() ? folder.Root() : folder.Resolve(path).parent_path();
    const nlohmann::json document = nlohmann::json::parse(body, nullptr, true, /*ignore_comments=*/true);
    sequence_file::CompiledSequence built(sequence_file::ParseSequenceText(body, base.string()));
    built.ThrowIfFailed();
    const nlohmann::json check = CheckJson(built);
    const std::vector<sequence_file::PreviewLaser> lasers = built.PreviewLasers();
    const preview::BeamTrace trace = preview::TraceCompiled(built.analysis, lasers);

    nlohmann::json timing = nlohmann::json::array();
    std::vector<std::pair<uint64_t, uint64_t>> spans;  // per element: start, end (us)
    for (const nlohmann::json& e : check["elements"]) {
        const uint64_t start = e["start"].get<uint64_t>() * built.file.tickTime;
        const uint64_t duration = e["duration"].get<uint64_t>() * built.file.tickTime;
        timing.push_back({{"index", e["index"]},
                          {"type", e["type"]},
                          {"startUs", start},
                          {"durationUs", duration},
                          {"illuminationUs", e["illumination"].get<uint64_t>() * built.file.tickTime},
                          {"bytes", e["bytes"]}});
        spans.emplace_back(start, start + duration);
    }
    // The beam element that runs at `t`, or -1.
    auto elementAt = [&](uint64_t t) {
        for (size_t i = 0; i < spans.size() && i < built.file.elements.size(); ++i)
            if (IsBeam(built.file.elements[i].type) && spans[i].first <= t && t < spans[i].second)
                return static_cast<int>(i);
        return -1;
    };

    std::vector<Step> steps;
    for (const preview::Move& m : trace.moves) steps.push_back({m.startUs, &m, nullptr});
    for (const preview::Stay& s : trace.stays) steps.push_back({s.startUs, nullptr, &s});
    std::stable_sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.startUs < b.startUs; });

    // Device positions go back to camera pixels through the calibration of the laser that drew them.
    auto toCamera = [&](int laser, double x, double y) -> std::pair<double, double> {
        if (laser < 0 || laser >= static_cast<int>(built.file.lasers.size()) || !built.file.lasers[laser].calibration)
            return {x, y};
        const RPOINTF c = built.file.lasers[laser].calibration->CameraCoordinates(RPOINTF(x, y));
        return {c.x, c.y};
    };
    nlohmann::json paths = nlohmann::json::array();
    DoseGrid dose;
    int lastElement = -2;
    for (const Step& step : steps) {
        const int element = elementAt(step.startUs);
        if (element < 0) continue;  // travel between elements belongs to none
        const unsigned int mask = step.move ? step.move->litMask : step.stay->litMask;
        const bool lit = mask != 0;
        int laser = FirstLaser(mask);
        if (laser < 0) laser = built.file.elements[element].laserSlots[0];
        const auto from =
            toCamera(laser, step.move ? step.move->x0 : step.stay->x, step.move ? step.move->y0 : step.stay->y);
        const auto to =
            toCamera(laser, step.move ? step.move->x1 : step.stay->x, step.move ? step.move->y1 : step.stay->y);
        nlohmann::json* current = paths.empty() ? nullptr : &paths.back();
        const bool continues = current && element == lastElement && (*current)["lit"] == lit &&
                               (*current)["points"].back() == nlohmann::json{from.first, from.second};
        if (!continues) {
            const sequence_file::PreviewLaser* l =
                laser >= 0 && laser < static_cast<int>(lasers.size()) ? &lasers[laser] : nullptr;
            paths.push_back({{"element", element},
                             {"laser", l ? nlohmann::json(l->name) : nlohmann::json(nullptr)},
                             {"color", l ? nlohmann::json(l->color) : nlohmann::json(nullptr)},
                             {"points", {{from.first, from.second}}},
                             {"lit", lit}});
            current = &paths.back();
        }
        if (to != from) (*current)["points"].push_back({to.first, to.second});
        lastElement = element;
        if (step.stay) dose.Add(to.first, to.second, step.stay->durationUs * LitIntensity(mask, step.stay->intensity));
        if (step.move && lit && step.move->lightUs > 0) {
            // A scanned path's light spreads along it; samples at most half a cell apart in spirit.
            const int n = static_cast<int>(std::min<uint32_t>(std::max<uint32_t>(step.move->steps, 1), 4096));
            const double each = step.move->lightUs * LitIntensity(mask, step.move->intensity) / n;
            for (int k = 1; k <= n; ++k) {
                const double f = static_cast<double>(k) / n;
                const auto p = toCamera(laser, step.move->x0 + f * (step.move->x1 - step.move->x0),
                                        step.move->y0 + f * (step.move->y1 - step.move->y0));
                dose.Add(p.first, p.second, each);
            }
        }
    }

    nlohmann::json strip = nlohmann::json::array();
    const nlohmann::json& elements = document.contains("elements") ? document["elements"] : nlohmann::json::array();
    for (size_t i = 0; i < built.file.elements.size() && i < spans.size(); ++i) {
        const std::string& type = built.file.elements[i].type;
        if (const char* kind = StripKind(type))
            strip.push_back(
                {{"tUs", spans[i].first},
                 {"kind", kind},
                 {"label", StripLabel(i < elements.size() ? elements[i] : nlohmann::json::object(), type)}});
    }
    return {{"paths", paths},   {"dose", dose.Json()},
            {"timing", timing}, {"totalUs", built.endTick * built.file.tickTime},
            {"strip", strip},   {"check", check}};
}

}  // namespace tools::studio
