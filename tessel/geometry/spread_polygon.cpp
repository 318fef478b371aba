#include <tessel/geometry/spread_polygon.h>

#include <tessel/geometry/detail/point_in_polygon.h>
#include <tessel/geometry/detail/truncate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <system_error>
#include <thread>

namespace {

using tessel::detail::truncToInt;
using tessel::detail::wrapMul;

std::array<rectanglef, 4> quadrants(const rectanglef& r) {
    const float w = r.width / 2;
    const float h = r.height / 2;
    return {rectanglef(r.x, r.y, w, h), rectanglef(r.x + w, r.y, w, h), rectanglef(r.x, r.y + h, w, h),
            rectanglef(r.x + w, r.y + h, w, h)};
}

class Coverage {
public:
    Coverage(std::vector<pointf> polygon, int tolerance) : polygon_(std::move(polygon)), tolerance_(tolerance) {}

    bool covers(const rectanglef& r) const {
        const pointf corners[] = {pointf(r.x, r.y), pointf(r.x + r.width, r.y), pointf(r.x, r.y + r.height),
                                  pointf(r.x + r.width, r.y + r.height)};
        for (const pointf& c : corners) {
            if (!inside(c)) return false;
        }
        const std::int32_t nx = truncToInt(r.width > 3 ? r.width / 3 : r.width);
        const std::int32_t ny = truncToInt(r.height > 3 ? r.height / 3 : r.height);
        const float stepX = r.width / static_cast<float>(nx);
        const float stepY = r.height / static_cast<float>(ny);
        // The tolerance is a percentage of the sample grid.
        const std::int32_t limit = wrapMul(wrapMul(nx, ny) / 100, tolerance_);
        std::int32_t misses = 0;
        for (std::int32_t i = 0; i < nx; ++i) {
            for (std::int32_t j = 0; j < ny; ++j) {
                const pointf sample(r.x + static_cast<float>(i) * stepX, r.y + static_cast<float>(j) * stepY);
                if (!inside(sample) && ++misses >= limit) return false;
            }
        }
        return true;
    }

private:
    bool inside(pointf p) const { return tessel::detail::pointInPolygon(p, polygon_.data(), polygon_.size()); }

    std::vector<pointf> polygon_;
    int tolerance_;
};

bool mergeable(const rectanglef& a, const rectanglef& b, rectanglef* merged) {
    if (a.y == b.y && a.height == b.height && (b.x == a.x + a.width || a.x == b.x + b.width)) {
        *merged = rectanglef(std::min(a.x, b.x), std::min(a.y, b.y), a.width + b.width, a.height);
    } else if (a.x == b.x && a.width == b.width && (b.y == a.y + a.height || a.y == b.y + b.height)) {
        *merged = rectanglef(std::min(a.x, b.x), std::min(a.y, b.y), a.width, a.height + b.height);
    } else {
        return false;
    }
    return merged->width < 255 && merged->height < 255;
}

// Repeatedly joins the first mergeable pair (in index order) and appends the
// union at the end, until no pair is left.
void mergePass(std::vector<rectanglef>& list) {
    bool found = true;
    while (found) {
        found = false;
        for (std::size_t i = 0; i < list.size() && !found; ++i) {
            for (std::size_t j = 0; j < list.size() && !found; ++j) {
                rectanglef merged;
                if (j == i || !mergeable(list[i], list[j], &merged)) continue;
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(std::max(i, j)));
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(std::min(i, j)));
                list.push_back(merged);
                found = true;
            }
        }
    }
}

// One worker: breadth-first subdivision of its quadrant. Regions outside the
// polygon keep splitting until a side falls to 3 or less.
void coverQuadrant(const Coverage& coverage, rectanglef quadrant, std::vector<rectanglef>* result) {
    std::deque<rectanglef> work{quadrant};
    while (!work.empty()) {
        const rectanglef r = work.front();
        work.pop_front();
        if (!(r.width > 3 && r.height > 3)) continue;
        for (const rectanglef& q : quadrants(r)) {
            if (coverage.covers(q) && q.width < 240 && q.height < 240) {
                result->push_back(q);
            } else {
                work.push_back(q);
            }
        }
    }
    mergePass(*result);
}

}  // namespace

void BeginSpreadPolygon(std::vector<pointf> polygon, std::vector<rectanglef>* out, rectanglef area, int tolerance) {
    if (out == nullptr) return;
    // An infinite side would halve forever.
    if (!std::isfinite(area.x) || !std::isfinite(area.y) || !std::isfinite(area.width) || !std::isfinite(area.height)) {
        return;
    }
    if (area.width <= 3 || area.height <= 3) return;

    const std::array<rectanglef, 4> parts = quadrants(area);
    std::array<std::vector<rectanglef>, 4> results;
    std::array<Coverage, 4> coverage{Coverage(polygon, tolerance), Coverage(polygon, tolerance),
                                     Coverage(polygon, tolerance), Coverage(polygon, tolerance)};
    std::array<std::thread, 4> workers;
    for (std::size_t k = 0; k < 4; ++k) {
        try {
            workers[k] = std::thread(coverQuadrant, std::cref(coverage[k]), parts[k], &results[k]);
        } catch (const std::system_error&) {
            // No thread to be had: do this quadrant here; the result is the same.
            coverQuadrant(coverage[k], parts[k], &results[k]);
        }
    }
    for (std::thread& worker : workers) {
        if (worker.joinable()) worker.join();
    }

    for (const auto& result : results) out->insert(out->end(), result.begin(), result.end());
    mergePass(*out);
}
