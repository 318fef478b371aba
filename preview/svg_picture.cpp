#include "preview/pictures.h"

#include "preview/duration_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <unordered_set>

namespace preview {
namespace {

constexpr double kField = 65535.0;
constexpr double kSide = 800.0;  // pixels for the whole mirror field
constexpr double kMargin = 40.0;
constexpr double kLaneHeight = 26.0;  // one output or the waits on the time strip

// What the picture may spend on path data and on dwell discs. Together with the fixed parts this
// keeps every preview far below the size an SVG renderer opens without complaint.
constexpr size_t kPathBudget = 3'000'000;
constexpr size_t kMaxDiscs = 4000;
// Path grids tried in turn (pixels): the first is finer than a screen shows; coarser ones merge
// what would be drawn on top of itself.
constexpr double kGrids[] = {0.1, 0.5, 1, 2, 4};

double Px(double device) { return kMargin + device * kSide / kField; }

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string Xml(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

int FirstLaser(unsigned int mask) {
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i)) return i;
    return -1;
}

// Opacity shows intensity; a faint floor keeps low intensities visible.
double Opacity(double intensity) { return 0.25 + 0.75 * std::clamp(intensity, 0.0, 1.0); }

// (laser, intensity in tenths); laser -1 is dark travel.
using Style = std::pair<int, int>;

Style StyleOf(const Move& m) {
    const int laser = FirstLaser(m.litMask);
    if (laser < 0) return {-1, 0};
    return {laser, static_cast<int>(std::lround(m.intensity[laser] * 10))};
}

// Path data of one style: polylines on a grid of `grid` pixels, continuing where the last
// segment ended.
struct PathText {
    std::string d;
    long long lastX = -1, lastY = -1;
};

struct Paths {
    std::map<Style, PathText> byStyle;
    size_t bytes = 0;
    size_t omitted = 0;  // segments left out once the budget was spent
    double grid = 0;
};

void AppendCoordinate(std::string* d, char command, long long qx, long long qy, double grid) {
    char buf[48];
    if (grid < 1)
        std::snprintf(buf, sizeof buf, "%c%.1f %.1f", command, qx * grid, qy * grid);
    else
        std::snprintf(buf, sizeof buf, "%c%lld %lld", command, static_cast<long long>(qx * grid),
                      static_cast<long long>(qy * grid));
    *d += buf;
}

// Draws the moves on `grid`. Segments that vanish on the grid are dropped; from the second grid on,
// a segment already drawn is not drawn again (a dense raster puts many rows on one pixel row).
// With `last` set the budget is a hard stop; otherwise going over it returns false early.
bool DrawPaths(const std::vector<Move>& moves, double grid, bool last, Paths* out) {
    *out = Paths{};
    out->grid = grid;
    const bool dedupe = grid >= 0.5;
    std::unordered_set<unsigned long long> drawn;
    for (const Move& m : moves) {
        const long long x0 = std::llround(Px(m.x0) / grid), y0 = std::llround(Px(m.y0) / grid);
        const long long x1 = std::llround(Px(m.x1) / grid), y1 = std::llround(Px(m.y1) / grid);
        if (x0 == x1 && y0 == y1) continue;
        const Style style = StyleOf(m);
        if (dedupe) {
            // Both directions of a segment are one drawing; coordinates stay below 2^14 grid units.
            auto key = [&](long long a, long long b, long long c, long long e) {
                return (static_cast<unsigned long long>(style.first + 1) << 60) ^
                       (static_cast<unsigned long long>(style.second) << 56) ^
                       (static_cast<unsigned long long>(a) << 42) ^ (static_cast<unsigned long long>(b) << 28) ^
                       (static_cast<unsigned long long>(c) << 14) ^ static_cast<unsigned long long>(e);
            };
            const bool forward = std::make_pair(x0, y0) < std::make_pair(x1, y1);
            const unsigned long long k = forward ? key(x0, y0, x1, y1) : key(x1, y1, x0, y0);
            if (!drawn.insert(k).second) continue;
        }
        if (out->bytes > kPathBudget) {
            if (!last) return false;
            ++out->omitted;
            continue;
        }
        PathText& p = out->byStyle[style];
        const size_t before = p.d.size();
        if (p.lastX != x0 || p.lastY != y0) AppendCoordinate(&p.d, 'M', x0, y0, grid);
        AppendCoordinate(&p.d, 'L', x1, y1, grid);
        p.lastX = x1;
        p.lastY = y1;
        out->bytes += p.d.size() - before;
    }
    return true;
}

Paths FitPaths(const std::vector<Move>& moves) {
    Paths paths;
    const size_t grids = sizeof kGrids / sizeof kGrids[0];
    for (size_t i = 0; i < grids; ++i)
        if (DrawPaths(moves, kGrids[i], i + 1 == grids, &paths)) break;
    return paths;
}

// The outputs and waits over device time, one lane each, below the field.
class TimeStrip {
public:
    TimeStrip(const BeamTrace& trace) : trace_(trace) {
        for (const Mark& m : trace.marks) lanes_[LaneOf(m)].push_back(&m);
    }

    double Height() const { return lanes_.empty() ? 0 : 24 + lanes_.size() * kLaneHeight + 18; }

    void Draw(std::ostringstream& svg, double top) const {
        if (lanes_.empty()) return;
        svg << "<text x=\"" << kMargin << "\" y=\"" << top + 14
            << "\" font-weight=\"bold\">outputs and waits over device time</text>\n";
        double y = top + 24;
        for (const auto& [lane, marks] : lanes_) {
            DrawLane(svg, lane, marks, y);
            y += kLaneHeight;
        }
        svg << "<text x=\"" << kMargin << "\" y=\"" << y + 12 << "\" font-size=\"11\">0</text>"
            << "<text x=\"" << kMargin + kSide << "\" y=\"" << y + 12 << "\" font-size=\"11\" text-anchor=\"end\">"
            << FormatMicroseconds(static_cast<double>(trace_.endUs)) << "</text>\n";
    }

private:
    // Lanes sort digital lines first, then analog channels, then the waits.
    using Lane = std::pair<int, int>;
    enum Group { Digital, AnalogOut, Waits };

    static Lane LaneOf(const Mark& m) {
        switch (m.kind) {
        case Mark::Level:
        case Mark::Pulse: return {Digital, m.channel};
        case Mark::Analog: return {AnalogOut, m.channel};
        default: return {Waits, 0};
        }
    }

    static std::string LaneName(const Lane& lane) {
        if (lane.first == Waits) return "waits (released at once here)";
        if (lane.first == AnalogOut) return "analog, laser output " + std::to_string(lane.second - 3);
        if (lane.second < 2) return "ttl" + std::to_string(lane.second + 1);
        return "line of laser output " + std::to_string(lane.second - 5);
    }

    double X(uint64_t us) const {
        const double end = std::max<double>(1.0, static_cast<double>(trace_.endUs));
        return kMargin + std::min(1.0, static_cast<double>(us) / end) * kSide;
    }

    // Half-pixel columns: everything within one is drawn once.
    static long Column(double x) { return std::lround(x * 2); }

    void DrawLane(std::ostringstream& svg, const Lane& lane, const std::vector<const Mark*>& marks, double top) const {
        const double bottom = top + kLaneHeight - 4, high = top + 12;
        svg << "<rect x=\"" << kMargin << "\" y=\"" << high << "\" width=\"" << kSide << "\" height=\"" << bottom - high
            << "\" fill=\"#f3f3f3\"/><text x=\"" << kMargin + 2 << "\" y=\"" << top + 10
            << "\" font-size=\"10\" fill=\"#444\">" << Xml(LaneName(lane)) << "</text>\n";
        if (lane.first == Waits) {
            long column = -1;
            for (const Mark* m : marks) {
                const double x = X(m->timeUs);
                if (Column(x) == column) continue;
                column = Column(x);
                const bool user = m->kind == Mark::WaitUser;
                svg << "<path d=\"M" << Num(x) << " " << Num(bottom) << "l-4 -7h8z\" fill=\""
                    << (user ? "#e07b00" : "#1f6fd0") << "\"><title>"
                    << (user ? "wait for the user" : "wait for input " + std::to_string(m->channel)) << " at "
                    << FormatMicroseconds(static_cast<double>(m->timeUs)) << "</title></path>\n";
            }
            return;
        }
        // A step line of the level (digital) or value (analog); pulses as ticks.
        const double full = lane.first == Digital ? 1.0 : 65535.0;
        auto levelY = [&](uint32_t v) { return bottom - std::min(1.0, v / full) * (bottom - high); };
        std::string steps = "M" + Num(kMargin) + " " + Num(levelY(0)), ticks;
        long stepColumn = -1, tickColumn = -1;
        for (const Mark* m : marks) {
            const double x = X(m->timeUs);
            if (m->kind == Mark::Pulse) {
                if (Column(x) != tickColumn) ticks += "M" + Num(x) + " " + Num(bottom) + "V" + Num(high);
                tickColumn = Column(x);
                continue;
            }
            // Within one column only the path's last value shows; the vertical stroke covers the rest.
            if (Column(x) != stepColumn) steps += "H" + Num(x);
            steps += "V" + Num(levelY(m->value));
            stepColumn = Column(x);
        }
        steps += "H" + Num(kMargin + kSide);
        svg << "<path d=\"" << steps << "\" stroke=\"#333\" stroke-width=\"1\" fill=\"none\"/>\n";
        if (!ticks.empty()) svg << "<path d=\"" << ticks << "\" stroke=\"#8b1a9b\" stroke-width=\"1\"/>\n";
    }

    const BeamTrace& trace_;
    std::map<Lane, std::vector<const Mark*>> lanes_;
};

}  // namespace

std::string DrawSvg(const BeamTrace& trace, const std::vector<TraceLaser>& lasers, const PreviewLegend& legend,
                    unsigned int tickTimeUs) {
    std::ostringstream svg;  // everything but the opening tag, whose height depends on the notes
    const TimeStrip strip(trace);
    const double stripTop = kMargin + kSide + 24;
    svg << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    // The mirror field, device units 0..65535 on both axes, y downwards as in camera images.
    svg << "<rect x=\"" << kMargin << "\" y=\"" << kMargin << "\" width=\"" << kSide << "\" height=\"" << kSide
        << "\" fill=\"#fafafa\" stroke=\"black\" stroke-width=\"1.5\"/>\n"
        << "<text x=\"" << kMargin << "\" y=\"" << kMargin - 8 << "\">0, 0</text>\n"
        << "<text x=\"" << kMargin + kSide << "\" y=\"" << kMargin + kSide + 16
        << "\" text-anchor=\"end\">65535, 65535 (mirror field, device units)</text>\n";

    const Paths paths = FitPaths(trace.moves);
    for (const auto& [style, path] : paths.byStyle) {
        if (style.first < 0)
            svg << "<path d=\"" << path.d << "\" stroke=\"#9a9a9a\" stroke-width=\"0.6\" fill=\"none\"/>\n";
        else
            svg << "<path d=\"" << path.d << "\" stroke=\"" << lasers[static_cast<size_t>(style.first)].color
                << "\" stroke-opacity=\"" << Num(Opacity(style.second / 10.0))
                << "\" stroke-width=\"1.8\" fill=\"none\" stroke-linecap=\"round\"/>\n";
    }

    // Dwell points: the beam rests lit at one place. The first rest of a scanned path is not drawn
    // as a disc unless it lasts longer than a couple of ticks. Rests on one half pixel are one disc.
    auto cell = [](double x, double y) {
        return (static_cast<unsigned long long>(std::lround(Px(x) * 2)) << 32) |
               static_cast<unsigned long long>(std::lround(Px(y) * 2));
    };
    std::unordered_set<unsigned long long> litEnds;
    for (const Move& m : trace.moves)
        if (m.litMask != 0) {
            litEnds.insert(cell(m.x0, m.y0));
            litEnds.insert(cell(m.x1, m.y1));
        }
    std::map<unsigned long long, Stay> dwell;
    for (const Stay& s : trace.stays) {
        const unsigned long long at = cell(s.x, s.y);
        if (litEnds.count(at) > 0 && s.durationUs < 3ull * tickTimeUs) continue;
        auto [it, fresh] = dwell.emplace(at, s);
        if (!fresh) it->second.durationUs += s.durationUs;
    }
    std::vector<const Stay*> discs;
    for (const auto& entry : dwell) discs.push_back(&entry.second);
    size_t discsOmitted = 0;
    if (discs.size() > kMaxDiscs) {  // the longest dwells matter most
        std::nth_element(discs.begin(), discs.begin() + kMaxDiscs, discs.end(),
                         [](const Stay* a, const Stay* b) { return a->durationUs > b->durationUs; });
        discsOmitted = discs.size() - kMaxDiscs;
        discs.resize(kMaxDiscs);
    }
    for (const Stay* s : discs) {
        const int laser = FirstLaser(s->litMask);
        const double ticks = static_cast<double>(s->durationUs) / tickTimeUs;
        const double r = std::min(30.0, 1.5 + 1.2 * std::sqrt(ticks));
        svg << "<circle cx=\"" << Num(Px(s->x)) << "\" cy=\"" << Num(Px(s->y)) << "\" r=\"" << Num(r) << "\" fill=\""
            << lasers[static_cast<size_t>(laser)].color << "\" fill-opacity=\"" << Num(Opacity(s->intensity[laser]))
            << "\"><title>" << s->x << ", " << s->y << ": " << FormatMicroseconds(static_cast<double>(s->durationUs))
            << " lit</title></circle>\n";
    }

    strip.Draw(svg, stripTop);

    // Legend.
    double y = stripTop + strip.Height() + 20;
    svg << "<text x=\"" << kMargin << "\" y=\"" << y << "\" font-weight=\"bold\">" << Xml(legend.title) << "</text>\n";
    y += 20;
    svg << "<text x=\"" << kMargin << "\" y=\"" << y << "\">duration " << FormatMicroseconds(legend.durationUs)
        << " \u00b7 light " << FormatMicroseconds(legend.illuminationUs) << " \u00b7 image " << legend.imageBytes
        << " bytes \u00b7 " << legend.elements << " elements</text>\n";
    y += 22;
    double x = kMargin;
    for (const TraceLaser& l : lasers) {
        svg << "<rect x=\"" << x << "\" y=\"" << y - 11 << "\" width=\"14\" height=\"14\" fill=\"" << l.color << "\"/>"
            << "<text x=\"" << x + 20 << "\" y=\"" << y << "\">" << Xml(l.name) << " (laser output " << l.port - 1
            << ")</text>\n";
        x += 200;
    }
    y += 22;
    svg << "<text x=\"" << kMargin << "\" y=\"" << y << "\" fill=\"#555\">thin grey: travel with the lasers off \u00b7 "
        << "coloured: light on, opacity = intensity \u00b7 discs: dwell points, area grows with the dwell "
           "time</text>\n";
    std::vector<std::string> notes;
    if (paths.grid > kGrids[0])
        notes.push_back("paths drawn on a " + Num(paths.grid) + " pixel grid: the sequence is too dense for finer");
    if (paths.omitted > 0) notes.push_back(std::to_string(paths.omitted) + " path segments left out");
    if (discsOmitted > 0) notes.push_back(std::to_string(discsOmitted) + " shorter dwell points left out");
    if (trace.marksDropped > 0)
        notes.push_back("the time strip shows the first " + std::to_string(trace.marks.size()) + " output changes");
    if (trace.truncated) notes.push_back("preview stopped early: the sequence runs too many slots to draw");
    for (const std::string& note : notes) {
        y += 20;
        svg << "<text x=\"" << kMargin << "\" y=\"" << y << "\" fill=\"#b00\">" << Xml(note) << "</text>\n";
    }
    svg << "</svg>\n";
    const double width = kSide + 2 * kMargin, height = y + 30;
    std::ostringstream head;
    head << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
         << "\" viewBox=\"0 0 " << width << " " << height << "\" font-family=\"sans-serif\" font-size=\"13\">\n";
    return head.str() + svg.str();
}

}  // namespace preview
