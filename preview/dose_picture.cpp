#include "preview/pictures.h"
#include "preview/png_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace preview {
namespace {

constexpr double kField = 65536.0;

struct Rgb {
    double r, g, b;
};

// Black through purple, red and orange to pale yellow: brighter means more light.
Rgb Scale(double v) {
    static const Rgb stops[] = {{0, 0, 0}, {60, 15, 110}, {190, 40, 80}, {250, 140, 20}, {252, 250, 180}};
    v = std::clamp(v, 0.0, 1.0) * 4;
    const int i = std::min(3, static_cast<int>(v));
    const double f = v - i;
    return {stops[i].r + (stops[i + 1].r - stops[i].r) * f, stops[i].g + (stops[i + 1].g - stops[i].g) * f,
            stops[i].b + (stops[i + 1].b - stops[i].b) * f};
}

// A 5 x 7 pixel font for the scale's numbers and unit, so the picture needs no font library.
struct Glyph {
    char c;
    const char* rows[7];
};
const Glyph kGlyphs[] = {
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'+', {".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
};

const Glyph* GlyphOf(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;  // a space, or a character the scale never writes
}

// An RGB canvas for the PNG: the map, its colour bar and their labels.
struct Canvas {
    int width, height;
    std::vector<unsigned char> pixels;
    Canvas(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3, 255) {}
    void Set(int x, int y, const Rgb& c) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
        p[0] = static_cast<unsigned char>(c.r);
        p[1] = static_cast<unsigned char>(c.g);
        p[2] = static_cast<unsigned char>(c.b);
    }
    void Text(int x, int y, const std::string& text) {
        for (char c : text) {
            if (const Glyph* g = GlyphOf(c))
                for (int row = 0; row < 7; ++row)
                    for (int col = 0; col < 5; ++col)
                        if (g->rows[row][col] == '#') Set(x + col, y + row, {0, 0, 0});
            x += 6;
        }
    }
};

std::string ScaleLabel(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3G", v);
    return buf;
}

Canvas RenderDose(const DoseMap& map) {
    // Scale to the 99th percentile of the exposed cells: one long dwell would otherwise leave
    // every scanned area black. Brighter cells saturate.
    std::vector<double> exposed;
    for (double v : map.cells)
        if (v > 0) exposed.push_back(v);
    double max = 0;
    if (!exposed.empty()) {
        auto at = exposed.begin() + static_cast<std::ptrdiff_t>((exposed.size() - 1) * 99 / 100);
        std::nth_element(exposed.begin(), at, exposed.end());
        max = *at;
    }
    // The map, then a colour bar on its right with five labelled marks, the unit below.
    constexpr int kBarWidth = 16, kRight = 110, kBottom = 22;
    Canvas canvas(map.size + kRight, map.size + kBottom);
    for (int y = 0; y < map.size; ++y)
        for (int x = 0; x < map.size; ++x)
            // A square root lets faint exposures show beside a long dwell.
            canvas.Set(x, y, Scale(max > 0 ? std::sqrt(map.cells[static_cast<size_t>(y) * map.size + x] / max) : 0));
    const int barX = map.size + 8;
    for (int y = 0; y < map.size; ++y) {
        const Rgb c = Scale(1.0 - static_cast<double>(y) / std::max(1, map.size - 1));
        for (int x = 0; x < kBarWidth; ++x) canvas.Set(barX + x, y, c);
    }
    for (int mark = 0; mark <= 4; ++mark) {
        const double f = mark / 4.0;  // position on the bar; the value goes with its square
        const int y = static_cast<int>(std::lround((1.0 - f) * (map.size - 1)));
        for (int x = 0; x < 4; ++x) canvas.Set(barX + kBarWidth + x, y, {0, 0, 0});
        const std::string label = ScaleLabel(DosePerArea(map, f * f * max)) + (mark == 4 ? "+" : "");
        canvas.Text(barX + kBarWidth + 6, std::clamp(y - 3, 0, map.size - 7), label);
    }
    canvas.Text(2, map.size + 8, std::string("LIGHT PER AREA: ") + kDoseUnit);
    return canvas;
}

}  // namespace

double DoseMap::Max() const { return cells.empty() ? 0 : *std::max_element(cells.begin(), cells.end()); }

const char* const kDoseUnit = "MS PER 1000 X 1000 DEVICE UNITS";

// A cell holds microseconds over a cell's area; the scale speaks of milliseconds per square of
// 1000 device units, a size a user can picture on the field.
double DosePerArea(const DoseMap& map, double cellValue) {
    const double side = map.CellSide();
    return side > 0 ? cellValue / 1000.0 / (side * side) * 1e6 : 0;
}

DoseMap ComputeDose(const BeamTrace& trace, int size) {
    DoseMap map;
    map.size = std::max(0, size);
    map.cells.assign(static_cast<size_t>(map.size) * static_cast<size_t>(map.size), 0.0);
    if (map.size == 0) return map;
    // Shared among the four nearest cell centres: a point dropped whole into the cell it falls in
    // would turn rings and rows finer than a few cells into a moire of the cell grid.
    auto deposit = [&](double x, double y, double dose) {
        const double u = x * map.size / kField - 0.5, v = y * map.size / kField - 0.5;
        const int cx = static_cast<int>(std::floor(u)), cy = static_cast<int>(std::floor(v));
        const double fx = u - cx, fy = v - cy;
        const double weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
        for (int k = 0; k < 4; ++k) {
            const int x1 = cx + (k & 1), y1 = cy + (k >> 1);
            if (x1 < 0 || y1 < 0 || x1 >= map.size || y1 >= map.size) continue;
            map.cells[static_cast<size_t>(y1) * map.size + x1] += dose * weights[k];
        }
    };
    auto doseOf = [](unsigned int mask, const double(&intensity)[4], double us) {
        double dose = 0;
        for (int i = 0; i < 4; ++i)
            if (mask & (1u << i)) dose += us * intensity[i];
        return dose;
    };
    for (const Stay& s : trace.stays)
        deposit(s.x, s.y, doseOf(s.litMask, s.intensity, static_cast<double>(s.durationUs)));
    // A scanned path: its light in samples at most a quarter cell apart, so that rings and rows of
    // steps leave no pattern of the cell grid (the spokes of point sampling).
    const double spacing = kField / map.size / 4;
    for (const Move& m : trace.moves) {
        if (m.lightUs == 0 || m.litMask == 0) continue;
        const double dose = doseOf(m.litMask, m.intensity, static_cast<double>(m.lightUs));
        const double length = std::hypot(m.x1 - m.x0, m.y1 - m.y0);
        const int samples = std::max(1, static_cast<int>(std::ceil(length / spacing)));
        for (int k = 0; k < samples; ++k) {
            const double f = (k + 0.5) / samples;
            deposit(m.x0 + (m.x1 - m.x0) * f, m.y0 + (m.y1 - m.y0) * f, dose / samples);
        }
    }
    // The spot covers more than one cell: a Gaussian footprint, one axis at a time.
    constexpr int kRadius = 2;
    double kernel[2 * kRadius + 1];
    double sum = 0;
    for (int d = -kRadius; d <= kRadius; ++d) sum += kernel[d + kRadius] = std::exp(-d * d / 2.0);
    for (double& k : kernel) k /= sum;
    std::vector<double> pass(map.cells.size(), 0.0);
    const int n = map.size;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            for (int d = -kRadius; d <= kRadius; ++d)
                if (x + d >= 0 && x + d < n)
                    pass[static_cast<size_t>(y) * n + x + d] +=
                        map.cells[static_cast<size_t>(y) * n + x] * kernel[d + kRadius];
    std::fill(map.cells.begin(), map.cells.end(), 0.0);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            for (int d = -kRadius; d <= kRadius; ++d)
                if (y + d >= 0 && y + d < n)
                    map.cells[static_cast<size_t>(y + d) * n + x] +=
                        pass[static_cast<size_t>(y) * n + x] * kernel[d + kRadius];
    return map;
}

bool WriteDosePng(const DoseMap& map, const std::string& path, std::string* error) {
    const Canvas canvas = RenderDose(map);
    return WriteRgbPng(path, canvas.width, canvas.height, canvas.pixels.data(), error);
}

}  // namespace preview
