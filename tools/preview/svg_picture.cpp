#include "tools/preview/pictures.h"

#include "tools/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

namespace tools {
namespace {

constexpr double kField = 65535.0;
constexpr double kSide = 800.0;  // pixels for the whole mirror field
constexpr double kMargin = 40.0;
constexpr double kLegend = 150.0;

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

}  // namespace

std::string DrawSvg(const BeamTrace& trace, const std::vector<TraceLaser>& lasers, const PreviewLegend& legend,
                    unsigned int tickTimeUs) {
    std::ostringstream svg;
    const double width = kSide + 2 * kMargin, height = kSide + 2 * kMargin + kLegend;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << width << " " << height << "\" font-family=\"sans-serif\" font-size=\"13\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    // The mirror field, device units 0..65535 on both axes, y downwards as in camera images.
    svg << "<rect x=\"" << kMargin << "\" y=\"" << kMargin << "\" width=\"" << kSide << "\" height=\"" << kSide
        << "\" fill=\"#fafafa\" stroke=\"black\" stroke-width=\"1.5\"/>\n"
        << "<text x=\"" << kMargin << "\" y=\"" << kMargin - 8 << "\">0, 0</text>\n"
        << "<text x=\"" << kMargin + kSide << "\" y=\"" << kMargin + kSide + 16
        << "\" text-anchor=\"end\">65535, 65535 (mirror field, device units)</text>\n";

    // Dark travel, one path.
    std::ostringstream dark;
    std::map<std::pair<int, int>, std::ostringstream> lit;  // (laser, intensity step) -> path
    std::set<std::pair<long, long>> litEnds;
    for (const Move& m : trace.moves) {
        const std::string seg = "M" + Num(Px(m.x0)) + " " + Num(Px(m.y0)) + "L" + Num(Px(m.x1)) + " " + Num(Px(m.y1));
        const int laser = FirstLaser(m.litMask);
        if (laser < 0) {
            dark << seg;
        } else {
            lit[{laser, static_cast<int>(std::lround(m.intensity[laser] * 10))}] << seg;
            litEnds.insert({std::lround(m.x0), std::lround(m.y0)});
            litEnds.insert({std::lround(m.x1), std::lround(m.y1)});
        }
    }
    if (!dark.str().empty())
        svg << "<path d=\"" << dark.str() << "\" stroke=\"#9a9a9a\" stroke-width=\"0.6\" fill=\"none\"/>\n";
    for (const auto& [key, path] : lit)
        svg << "<path d=\"" << path.str() << "\" stroke=\"" << lasers[static_cast<size_t>(key.first)].color
            << "\" stroke-opacity=\"" << Num(Opacity(key.second / 10.0)) << "\" stroke-width=\"1.8\" fill=\"none\""
            << " stroke-linecap=\"round\"/>\n";

    // Dwell points: the beam rests lit at one place. Scan steps along a lit path are not drawn
    // as discs unless they rest longer than a couple of ticks.
    std::map<std::pair<long, long>, Stay> dwell;
    for (const Stay& s : trace.stays) {
        const std::pair<long, long> at{std::lround(s.x), std::lround(s.y)};
        const bool onPath = litEnds.count(at) > 0;
        if (onPath && s.durationUs < 3ull * tickTimeUs) continue;
        auto [it, fresh] = dwell.emplace(at, s);
        if (!fresh) it->second.durationUs += s.durationUs;
    }
    for (const auto& [at, s] : dwell) {
        const int laser = FirstLaser(s.litMask);
        const double ticks = static_cast<double>(s.durationUs) / tickTimeUs;
        const double r = std::min(30.0, 1.5 + 1.2 * std::sqrt(ticks));
        svg << "<circle cx=\"" << Num(Px(s.x)) << "\" cy=\"" << Num(Px(s.y)) << "\" r=\"" << Num(r) << "\" fill=\""
            << lasers[static_cast<size_t>(laser)].color << "\" fill-opacity=\"" << Num(Opacity(s.intensity[laser]))
            << "\"><title>" << s.x << ", " << s.y << ": " << FormatMicroseconds(static_cast<double>(s.durationUs))
            << " lit</title></circle>\n";
    }

    // Legend.
    double y = kMargin + kSide + 40;
    svg << "<text x=\"" << kMargin << "\" y=\"" << y << "\" font-weight=\"bold\">" << Xml(legend.title) << "</text>\n";
    y += 20;
    svg << "<text x=\"" << kMargin << "\" y=\"" << y << "\">duration " << FormatMicroseconds(legend.durationUs)
        << " \u00b7 illumination " << FormatMicroseconds(legend.illuminationUs) << " \u00b7 image " << legend.imageBytes
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
    if (trace.truncated) {
        y += 20;
        svg << "<text x=\"" << kMargin << "\" y=\"" << y << "\" fill=\"#b00\">preview stopped early: the sequence runs "
            << "too many slots to draw</text>\n";
    }
    svg << "</svg>\n";
    return svg.str();
}

}  // namespace tools
