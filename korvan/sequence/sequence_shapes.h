#pragma once
// The shape elements: lines, ellipses and polygons. The beam is moved along them in steps of
// the scan step size of the first laser's calibration (Korvan::SetLaserStepSize).
#include <korvan/export.h>
#include <korvan/sequence/sequence_object.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/tag_rect.h>

/// A straight scan from `start` to `end`, in camera coordinates (mapped through the
/// calibration of the line's first laser).
class KORVAN_API SequenceLine : public SequenceObject {
public:
    SequenceLine(RPOINTF start, RPOINTF end);
    /// start = (x1, y1), end = (x2, y2).
    SequenceLine(double x1, double y1, double x2, double y2);
    using SequenceObject::IsIlluminationObject;
    int IsIlluminationObject() override;

    RPOINTF start;
    RPOINTF end;
};

/// An ellipse (a circle when its bounding rectangle is square), outlined or filled, given by
/// three consecutive corners of its bounding rectangle in camera coordinates.
class KORVAN_API SequenceEllipse : public SequenceObject {
public:
    /// Axis-parallel: corners (x, y), (x + width, y), (x + width, y + height).
    SequenceEllipse(double x, double y, double width, double height, int fill);
    /// Corners (left, top), (right, top), (right, bottom).
    SequenceEllipse(tagRECT r, int fill);
    /// Three consecutive corners of a possibly rotated rectangle, the first and third opposite.
    SequenceEllipse(const RPOINTF* corners, int fill);
    using SequenceObject::IsIlluminationObject;
    int IsIlluminationObject() override;

    /// Nonzero fills the area, 0 draws the outline.
    int fill;
    /// Nonzero draws a filled ellipse as one continuous path of rings instead of hatch lines.
    unsigned int fillPath;
    /// Reserved: 0 after construction, copied with the object, not used.
    unsigned int reserved;
    RPOINTF corners[3];
};

/// A path through points (camera coordinates), or the area it encloses filled with hatch lines.
/// The outline is not closed: repeat the first point at the end for a closed outline.
///
/// The polygon owns its points: copies get their own array, the destructor frees it.
class KORVAN_API SequencePolygon : public SequenceObject {
public:
    /// Copies `count` points (none when `points` is null or `count` 0).
    SequencePolygon(const RPOINTF* points, unsigned int count, int fill);
    SequencePolygon(const SequencePolygon& other);
    SequencePolygon(SequencePolygon&& other) noexcept;
    SequencePolygon& operator=(const SequencePolygon& other);
    SequencePolygon& operator=(SequencePolygon&& other) noexcept;
    ~SequencePolygon() override;
    using SequenceObject::IsIlluminationObject;
    int IsIlluminationObject() override;

    /// Replaces the points by a copy of `count` points (none when `points` is null or `count` 0).
    void SetPolygonPoints(const RPOINTF* points, unsigned int count);
    /// A new copy of the points with their number in `*count`; null (and 0) when there are none.
    /// Release the copy with FreePolygonPoints.
    RPOINTF* GetPolygonPoints(unsigned int* count) const;
    /// Releases an array from GetPolygonPoints; null is ignored.
    static void FreePolygonPoints(RPOINTF* points);

    /// Nonzero fills the polygon with hatch lines, 0 draws the path through the points.
    int fill;
    /// Owned by the polygon.
    RPOINTF* points;
    unsigned int pointCount;
};
