#include "tools/preview/pictures.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace tools {
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

}  // namespace

double DoseMap::Max() const { return cells.empty() ? 0 : *std::max_element(cells.begin(), cells.end()); }

DoseMap ComputeDose(const BeamTrace& trace, int size) {
    DoseMap map;
    map.size = size;
    map.cells.assign(static_cast<size_t>(size) * static_cast<size_t>(size), 0.0);
    // The spot covers more than one cell: spread each stay over a small Gaussian footprint.
    constexpr int kRadius = 2;
    double kernel[2 * kRadius + 1][2 * kRadius + 1];
    double sum = 0;
    for (int dy = -kRadius; dy <= kRadius; ++dy)
        for (int dx = -kRadius; dx <= kRadius; ++dx)
            sum += kernel[dy + kRadius][dx + kRadius] = std::exp(-(dx * dx + dy * dy) / 2.0);
    for (const Stay& s : trace.stays) {
        double dose = 0;
        for (int i = 0; i < 4; ++i)
            if (s.litMask & (1u << i)) dose += static_cast<double>(s.durationUs) * s.intensity[i];
        const int cx = static_cast<int>(s.x * size / kField), cy = static_cast<int>(s.y * size / kField);
        for (int dy = -kRadius; dy <= kRadius; ++dy)
            for (int dx = -kRadius; dx <= kRadius; ++dx) {
                const int x = cx + dx, y = cy + dy;
                if (x < 0 || y < 0 || x >= size || y >= size) continue;
                map.cells[static_cast<size_t>(y) * size + x] += dose * kernel[dy + kRadius][dx + kRadius] / sum;
            }
    }
    return map;
}

bool WriteDosePng(const DoseMap& map, const std::string& path, std::string* error) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) {
        *error = "cannot create " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        *error = "libpng could not start";
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(map.size) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *error = "writing " + path + " failed";
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(map.size), static_cast<png_uint_32>(map.size), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
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
    for (int y = 0; y < map.size; ++y) {
        for (int x = 0; x < map.size; ++x) {
            // A square root lets faint exposures show beside a long dwell.
            const double v = max > 0 ? std::sqrt(map.cells[static_cast<size_t>(y) * map.size + x] / max) : 0;
            const Rgb c = Scale(v);
            row[static_cast<size_t>(x) * 3] = static_cast<png_byte>(c.r);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<png_byte>(c.g);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<png_byte>(c.b);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0) {
        *error = "writing " + path + " failed";
        return false;
    }
    return true;
}

}  // namespace tools
