#include <korvan/sequence/sequence_shapes.h>

#include <korvan/detail/heap.h>

#include <utility>

using korvan::detail::HeapCopy;
using korvan::detail::HeapRelease;

SequenceLine::SequenceLine(RPOINTF start, RPOINTF end) : start(start), end(end) {}

SequenceLine::SequenceLine(double x1, double y1, double x2, double y2) : start(x1, y1), end(x2, y2) {}

int SequenceLine::IsIlluminationObject() { return 1; }

SequenceEllipse::SequenceEllipse(double x, double y, double width, double height, int fill)
    : fill(fill), fillPath(0), reserved(0), corners{{x, y}, {x + width, y}, {x + width, y + height}} {}

SequenceEllipse::SequenceEllipse(tagRECT r, int fill)
    : fill(fill),
      fillPath(0),
      reserved(0),
      corners{{double(r.left), double(r.top)}, {double(r.right), double(r.top)}, {double(r.right), double(r.bottom)}} {}

SequenceEllipse::SequenceEllipse(const RPOINTF* c, int fill) : fill(fill), fillPath(0), reserved(0) {
    if (c == nullptr) return;  // corners stay at (0, 0): a degenerate ellipse the compiler rejects
    for (int i = 0; i < 3; ++i) corners[i] = c[i];
}

int SequenceEllipse::IsIlluminationObject() { return 1; }

SequencePolygon::SequencePolygon(const RPOINTF* points, unsigned int count, int fill)
    : fill(fill), points(nullptr), pointCount(0) {
    SetPolygonPoints(points, count);
}

SequencePolygon::SequencePolygon(const SequencePolygon& other)
    : SequenceObject(other), fill(other.fill), points(nullptr), pointCount(0) {
    SetPolygonPoints(other.points, other.pointCount);
}

SequencePolygon::SequencePolygon(SequencePolygon&& other) noexcept
    : SequenceObject(other),
      fill(other.fill),
      points(std::exchange(other.points, nullptr)),
      pointCount(std::exchange(other.pointCount, 0u)) {}

SequencePolygon& SequencePolygon::operator=(const SequencePolygon& other) {
    if (this == &other) return *this;
    SequenceObject::operator=(other);
    fill = other.fill;
    SetPolygonPoints(other.points, other.pointCount);
    return *this;
}

SequencePolygon& SequencePolygon::operator=(SequencePolygon&& other) noexcept {
    if (this == &other) return *this;
    SequenceObject::operator=(other);
    fill = other.fill;
    HeapRelease(points);
    points = std::exchange(other.points, nullptr);
    pointCount = std::exchange(other.pointCount, 0u);
    return *this;
}

SequencePolygon::~SequencePolygon() { HeapRelease(points); }

int SequencePolygon::IsIlluminationObject() { return 1; }

void SequencePolygon::SetPolygonPoints(const RPOINTF* source, unsigned int count) {
    RPOINTF* copy = HeapCopy(source, count);
    HeapRelease(points);
    points = copy;
    pointCount = copy != nullptr ? count : 0;
}

RPOINTF* SequencePolygon::GetPolygonPoints(unsigned int* count) const {
    if (count == nullptr) return nullptr;
    *count = 0;
    RPOINTF* copy = HeapCopy(points, pointCount);
    if (copy != nullptr) *count = pointCount;
    return copy;
}

void SequencePolygon::FreePolygonPoints(RPOINTF* points) { HeapRelease(points); }
