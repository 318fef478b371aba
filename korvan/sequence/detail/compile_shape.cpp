// Ellipses and polygons: reduced by the shape generators to scan paths, which compile by the
// line rules, or to hatch lines, which compile as temporary lines one after the other.
#include <korvan/sequence/detail/compile_element.h>

#include <korvan/sequence/detail/line_positions.h>
#include <korvan/sequence/detail/shapes/circle.h>
#include <korvan/sequence/detail/shapes/ellipse.h>
#include <korvan/sequence/detail/shapes/fill_path.h>
#include <korvan/sequence/detail/shapes/polygon_fill.h>
#include <korvan/sequence/detail/shapes/polygon_outline.h>
#include <korvan/sequence/detail/shapes/step_length.h>
#include <tessel/geometry/float_compare.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace korvan::detail {
namespace {

// A count in words, digits grouped: "4,200,000".
std::string Count(double value) {
    std::string digits = std::to_string(static_cast<unsigned long long>(std::max(0.0, value)));
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// Two mirror actions per position: a path longer than that fits no image.
bool TooLong(std::uint64_t positions, const BuildContext& context) { return positions > context.maxImageLength / 8; }

const Calibration* CalibrationOf(const Laser& laser) { return laser.calibration; }

void CompileOutline(const SequencePolygon& e, const ElementLasers& lasers, const BuildContext& context,
                    ElementOutput& out) {
    const Calibration& calibration = *CalibrationOf(*lasers.First());
    const std::optional<std::uint64_t> count = PolygonOutlineCount(e.points, e.pointCount, calibration);
    if (!count) {
        out.Fail(ResultSequenceInvalid, "an outline edge cannot be counted (not a number or too long)");
        return;
    }
    if (*count == 0) return;
    if (TooLong(*count, context)) {
        out.Fail(ResultMemoryTooSmall, "shape too large for the device memory");
        return;
    }
    ScanPath path;
    path.count = *count;
    std::vector<Vector2f> positions;
    if (!out.timingOnly) {
        positions = PolygonOutlinePositions(e.points, e.pointCount, calibration);
        path.count = positions.size();
        path.positions = &positions;
    }
    CompileScan(e, lasers, path, context, out);
}

// Appends one compiled hatch line, keeping its lead actions before its body actions at a tick.
void AppendInTickOrder(const ElementOutput& line, std::vector<SequenceAction>& to) {
    auto lead = line.lead.begin(), body = line.body.begin();
    while (lead != line.lead.end() || body != line.body.end()) {
        const bool fromLead = body == line.body.end() || (lead != line.lead.end() && lead->tick <= body->tick);
        to.push_back(fromLead ? *lead++ : *body++);
    }
}

// Hatching costs about rows x corners before a single line is compiled, so a fill is checked from
// its mapped outline first. By memory (result 3): two mirror actions, 8 bytes, per position;
// positions one step apart on 45-degree rows one step apart along x. By the work of the hatch
// itself (result 4): rows x corners beyond kMaxHatchWork, about five seconds of hatching.
bool FillFits(const SequencePolygon& e, const Laser& laser, const BuildContext& context, ElementOutput& out) {
    constexpr double kMaxHatchWork = 2.0e9;
    const double step = CalibrationOf(laser)->scanStepSize;
    double area = 0, low = 0, high = 0;
    Vector2f first, previous;
    for (unsigned int i = 0; i < e.pointCount; ++i) {
        const Vector2f p = CameraToDevice(laser, e.points[i]);
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            out.Fail(ResultSequenceInvalid, "a corner is not a number after the calibration mapping");
            return false;
        }
        const double diagonal = static_cast<double>(p.x) + p.y;
        if (i == 0) {
            first = p;
            low = high = diagonal;
        } else {
            area += static_cast<double>(previous.x) * p.y - static_cast<double>(p.x) * previous.y;
        }
        low = std::min(low, diagonal);
        high = std::max(high, diagonal);
        previous = p;
    }
    area += static_cast<double>(previous.x) * first.y - static_cast<double>(first.x) * previous.y;
    const double positions = std::abs(area) / 2 / (step * step / std::sqrt(2.0));
    const double rows = (high - low) / step + 1;
    const double bytes = std::max(positions, rows) * 8;
    const auto available = static_cast<double>(context.maxImageLength);
    if (bytes > available) {
        // Positions shrink with the square of the step, rows with the step.
        const double fits = step * std::max(std::sqrt(positions * 8 / available), rows * 8 / available);
        out.Fail(ResultMemoryTooSmall,
                 out.Note("filled shape needs about " + Count(bytes) + " bytes of device memory, the device holds " +
                          Count(available) + "; a scan step of " + Count(std::ceil(fits)) + " or more would fit"));
        return false;
    }
    if (rows * e.pointCount > kMaxHatchWork) {
        out.Fail(ResultSequenceInvalid,
                 out.Note("hatching this filled shape takes about " + Count(rows) + " rows x " + Count(e.pointCount) +
                          " corners, beyond the compiler's limit of " + Count(kMaxHatchWork) +
                          " (about five seconds); use fewer corners or a larger scan step"));
        return false;
    }
    return true;
}

void CompileFilled(const SequencePolygon& e, const ElementLasers& lasers, const BuildContext& context,
                   ElementOutput& out) {
    const Laser& laser = *lasers.First();
    if (!FillFits(e, laser, context, out)) return;
    bool noRows = false;
    const std::vector<LineSegment> segments = HatchSerpentine(e.points, e.pointCount, *CalibrationOf(laser), &noRows);
    if (noRows || segments.empty()) {
        // Smaller than one step: a dwell at the first vertex.
        SequencePoint point(e.points[0]);
        point.CopyCommonDataFromObj(&e);
        CompileKind(point, context, out);
        return;
    }
    const auto step = static_cast<float>(CalibrationOf(laser)->scanStepSize);
    std::uint64_t running = e.startTick, illumination = 0;
    ElementOutput line;
    line.timingOnly = out.timingOnly;
    SequenceObject common;
    common.CopyCommonDataFromObj(&e);
    common.repeatCount = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (running > 0xFFFFFFFFu) {
            out.Fail(ResultSequenceInvalid, "hatch lines run beyond the device's 32-bit ticks");
            return;
        }
        common.startTick = static_cast<unsigned int>(running);
        line.Clear();
        const Vector2f start(segments[i].start), end(segments[i].end);
        ScanPath path;
        path.count = LinePositionCount(start, end, step);
        std::vector<Vector2f> positions;
        if (!out.timingOnly && path.count > 0 && !TooLong(path.count, context)) {
            positions = LinePositions(start, end, step);
            path.positions = &positions;
        }
        path.continuousExtension = false;
        path.warmUp = i == 0;
        path.repeat = false;
        CompileScan(common, lasers, path, context, line);
        if (line.result != 0) {
            out.Fail(line.result, line.reason == line.note.c_str() ? out.Note(line.note) : line.reason);
            return;
        }
        if (!out.timingOnly) AppendInTickOrder(line, out.body);
        running += line.duration;
        illumination += line.illumination;
    }
    const std::uint64_t passes = std::uint64_t{e.repeatCount} + 1;
    if (e.repeatCount != 0 && !out.timingOnly)
        out.body.push_back(ActionJump(out.Tick(running - 1), kElementLoopCounter, e.startTick, e.repeatCount));
    out.duration = (running - e.startTick) * passes;
    out.illumination = illumination * passes;
}

}  // namespace

void CompileKind(const SequencePolygon& e, const BuildContext& context, ElementOutput& out) {
    const ElementLasers lasers = LasersOf(e, context, out.timingOnly);
    if (lasers.count == 0 || e.points == nullptr || e.pointCount == 0 || CalibrationOf(*lasers.First()) == nullptr)
        return;
    if (e.fill != 0)
        CompileFilled(e, lasers, context, out);
    else
        CompileOutline(e, lasers, context, out);
}

void CompileKind(const SequenceEllipse& e, const BuildContext& context, ElementOutput& out) {
    const ElementLasers lasers = LasersOf(e, context, out.timingOnly);
    if (lasers.count == 0 || CalibrationOf(*lasers.First()) == nullptr) return;
    for (const RPOINTF& c : e.corners)
        if (!std::isfinite(c.x) || !std::isfinite(c.y)) {
            out.Fail(ResultSequenceInvalid, "corners are not finite");
            return;
        }
    const Calibration& calibration = *CalibrationOf(*lasers.First());
    const Vector2f corners[3] = {Vector2f(e.corners[0]), Vector2f(e.corners[1]), Vector2f(e.corners[2])};
    const bool circle = dblEquals(e.corners[2].x - e.corners[0].x, e.corners[2].y - e.corners[0].y);
    const bool path = e.fill != 0 && e.fillPath != 0;

    std::optional<std::uint64_t> count;
    const float stepLength = StepLengthAt(corners[0], calibration);
    if (path)
        count = FillPathCount(corners, circle, calibration, context.maxImageLength);
    else
        count = circle ? CircleOutlineCount(corners, stepLength) : EllipseOutlineCount(corners, stepLength);
    if (!count) {
        out.Fail(ResultSequenceInvalid, "shape size cannot be counted (not a number or too large)");
        return;
    }
    if (TooLong(*count, context)) {
        out.Fail(ResultMemoryTooSmall, "shape too large for the device memory");
        return;
    }
    std::vector<RPOINTF> points;
    if (path)
        points = FillPathPoints(corners, circle, calibration);
    else
        points = circle ? CircleOutlinePoints(corners, stepLength) : EllipseOutlinePoints(corners, stepLength);
    if (points.empty()) return;

    SequencePolygon shape(points.data(), static_cast<unsigned int>(points.size()), e.fill != 0 && !path ? 1 : 0);
    shape.CopyCommonDataFromObj(&e);
    CompileKind(shape, context, out);
}

}  // namespace korvan::detail
