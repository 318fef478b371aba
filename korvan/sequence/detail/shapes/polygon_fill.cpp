#include <korvan/sequence/detail/shapes/polygon_fill.h>

#include <korvan/sequence/detail/shapes/polygon_outline.h>
#include <tessel/geometry/hatch_fill.h>

#include <memory>

namespace korvan::detail {

namespace {

using Rows = std::vector<std::vector<LineSegment>>;

void ReleaseRows(Rows* rows) { Free(rows); }

}  // namespace

std::vector<LineSegment> HatchSerpentine(const RPOINTF* points, unsigned int count, const Calibration& calibration,
                                         bool* noRows) {
    const std::vector<Vector2f> polygon = DeviceVertices(points, count, calibration);
    const std::unique_ptr<Rows, void (*)(Rows*)> rows(
        FragmentToLines(polygon, static_cast<float>(calibration.scanStepSize)), ReleaseRows);
    if (noRows != nullptr) *noRows = rows->empty();
    std::vector<LineSegment> segments;
    for (std::size_t g = 0; g < rows->size(); ++g) {
        const std::vector<LineSegment>& row = (*rows)[g];
        if (g % 2 == 0) {
            segments.insert(segments.end(), row.begin(), row.end());
        } else {
            for (auto it = row.rbegin(); it != row.rend(); ++it) segments.emplace_back(it->end, it->start);
        }
    }
    return segments;
}

}  // namespace korvan::detail
