#include <korvan/calibration/calibration_quality.h>

#include <korvan/device/result_codes.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct P {
    double x = 0, y = 0;
};

P operator-(P a, P b) { return {a.x - b.x, a.y - b.y}; }
double Cross(P a, P b) { return a.x * b.y - a.y * b.x; }
double Distance(P a, P b) { return std::hypot(a.x - b.x, a.y - b.y); }

/// dst = M src + t.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    P operator()(P p) const { return {a * p.x + b * p.y + e, c * p.x + d * p.y + f}; }
    double Det() const { return a * d - b * c; }
};

/// Least-squares affine map from src[i] to dst[i]; nothing when the sources lie on one line.
std::optional<Affine> FitAffine(const std::vector<P>& src, const std::vector<P>& dst) {
    const std::size_t n = src.size();
    if (n < 3) return std::nullopt;
    P ms, md;
    for (std::size_t i = 0; i < n; ++i) {
        ms.x += src[i].x / n, ms.y += src[i].y / n;
        md.x += dst[i].x / n, md.y += dst[i].y / n;
    }
    // Centred sums keep the normal equations well conditioned at device-sized coordinates.
    double sxx = 0, sxy = 0, syy = 0, ux = 0, uy = 0, vx = 0, vy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const P s = src[i] - ms, t = dst[i] - md;
        sxx += s.x * s.x, sxy += s.x * s.y, syy += s.y * s.y;
        ux += s.x * t.x, uy += s.y * t.x, vx += s.x * t.y, vy += s.y * t.y;
    }
    const double det = sxx * syy - sxy * sxy;
    if (!(det > 1e-9 * (sxx + syy) * (sxx + syy))) return std::nullopt;
    Affine m;
    m.a = (ux * syy - uy * sxy) / det;
    m.b = (uy * sxx - ux * sxy) / det;
    m.c = (vx * syy - vy * sxy) / det;
    m.d = (vy * sxx - vx * sxy) / det;
    m.e = md.x - m.a * ms.x - m.b * ms.y;
    m.f = md.y - m.c * ms.x - m.d * ms.y;
    return m;
}

unsigned int GridSizeOf(unsigned int count) {
    const auto n = static_cast<unsigned int>(std::lround(std::sqrt(static_cast<double>(count))));
    return n >= 2 && n * n == count ? n : 0;
}

struct Table {
    std::vector<P> camera, device;
    unsigned int n = 0;  // points per row, 0 without a grid
};

/// Indices of the up to eight grid neighbours of point i.
std::vector<std::size_t> Neighbours(const Table& t, std::size_t i) {
    std::vector<std::size_t> out;
    const long n = t.n, row = static_cast<long>(i) / n, col = static_cast<long>(i) % n;
    for (long r = row - 1; r <= row + 1; ++r) {
        for (long c = col - 1; c <= col + 1; ++c) {
            if (r < 0 || c < 0 || r >= n || c >= n || (r == row && c == col)) continue;
            out.push_back(static_cast<std::size_t>(r * n + c));
        }
    }
    return out;
}

void LeaveOneOut(const Table& t, CalibrationQuality& q) {
    double sum = 0, sumPixels = 0;
    int counted = 0;
    for (std::size_t i = 0; i < t.camera.size(); ++i) {
        std::vector<P> cam, dev;
        for (std::size_t k : Neighbours(t, i)) cam.push_back(t.camera[k]), dev.push_back(t.device[k]);
        const auto toDevice = FitAffine(cam, dev);
        const auto toCamera = FitAffine(dev, cam);
        if (!toDevice || !toCamera) continue;
        CalibrationPointQuality& p = q.points[i];
        p.leaveOneOutDevice = Distance((*toDevice)(t.camera[i]), t.device[i]);
        const P predicted = (*toCamera)(t.device[i]);
        p.leaveOneOutPixels = Distance(predicted, t.camera[i]);
        p.predictedCameraX = predicted.x;
        p.predictedCameraY = predicted.y;
        sum += p.leaveOneOutDevice, sumPixels += p.leaveOneOutPixels, ++counted;
        if (p.leaveOneOutDevice > q.leaveOneOutMax) {
            q.leaveOneOutMax = p.leaveOneOutDevice;
            q.worstPoint = static_cast<int>(i);
        }
        q.leaveOneOutMaxPixels = std::max(q.leaveOneOutMaxPixels, p.leaveOneOutPixels);
    }
    if (counted > 0) {
        q.leaveOneOutMean = sum / counted;
        q.leaveOneOutMeanPixels = sumPixels / counted;
    }
}

void AffinePart(const Table& t, const Affine& m, CalibrationQuality& q) {
    const double colX = std::hypot(m.a, m.c), colY = std::hypot(m.b, m.d);
    q.scaleX = colX;
    q.scaleY = colY;
    q.rotationDegrees = std::atan2(m.c, m.a) * 180 / kPi;
    q.skewDegrees = std::atan2(m.a * m.b + m.c * m.d, std::fabs(m.Det())) * 180 / kPi;
    q.mirrored = m.Det() < 0;
    // Pixels per device unit, averaged over both axes: enough to state a deviation in pixels.
    const double pixelsPerUnit = 2 / (colX + colY);
    for (std::size_t i = 0; i < t.camera.size(); ++i) {
        const double deviation = Distance(m(t.camera[i]), t.device[i]);
        q.points[i].affineDeviation = deviation;
        if (deviation > q.affineMaxDeviation || q.affineWorstPoint < 0) {
            q.affineMaxDeviation = deviation;
            q.affineMaxDeviationPixels = deviation * pixelsPerUnit;
            q.affineWorstPoint = static_cast<int>(i);
        }
    }
}

/// A cell folds when one of its corners turns the other way on the camera than on the device,
/// compared with the table as a whole (a mirror-inverted camera turns every cell the other way).
void FoldedCells(const Table& t, bool mirrored, CalibrationQuality& q) {
    const double expected = mirrored ? -1 : 1;
    for (unsigned int r = 0; r + 1 < t.n; ++r) {
        for (unsigned int c = 0; c + 1 < t.n; ++c) {
            const std::size_t i = r * t.n + c;
            const std::size_t corner[4] = {i, i + 1, i + t.n + 1, i + t.n};  // around the cell
            bool folded = false;
            for (int k = 0; k < 4 && !folded; ++k) {
                const std::size_t at = corner[k], next = corner[(k + 1) % 4], prev = corner[(k + 3) % 4];
                const double cam = Cross(t.camera[next] - t.camera[at], t.camera[prev] - t.camera[at]);
                const double dev = Cross(t.device[next] - t.device[at], t.device[prev] - t.device[at]);
                folded = !(cam * dev * expected > 0);
            }
            if (!folded) continue;
            q.foldedCells.push_back(static_cast<unsigned int>(i));
            for (std::size_t k : corner) q.points[k].inFoldedCell = true;
        }
    }
}

void Spacing(const Table& t, CalibrationQuality& q) {
    double device = 0, camera = 0;
    int pairs = 0;
    auto add = [&](std::size_t a, std::size_t b) {
        device += Distance(t.device[a], t.device[b]);
        camera += Distance(t.camera[a], t.camera[b]);
        ++pairs;
    };
    if (t.n == 0) {
        for (std::size_t a = 0; a < t.camera.size(); ++a) add(a, (a + 1) % t.camera.size());
    } else {
        for (std::size_t i = 0; i < t.camera.size(); ++i) {
            if ((i + 1) % t.n != 0) add(i, i + 1);
            if (i + t.n < t.camera.size()) add(i, i + t.n);
        }
    }
    q.gridSpacing = device / pairs;
    q.gridSpacingPixels = camera / pairs;
}

}  // namespace

bool CalibrationQuality::LooksSound() const {
    return result == 0 && foldedCells.empty() && leaveOneOutMax < kSoundShareOfSpacing * gridSpacing;
}

CalibrationQuality AssessCalibration(const Calibration& calibration) {
    CalibrationQuality q;
    q.pointCount = calibration.pointCount;
    Table t;
    t.n = GridSizeOf(calibration.pointCount);
    if (calibration.calibrationPoints == nullptr || (t.n == 0 && calibration.pointCount != 3)) {
        q.result = korvan::ResultInvalidArgument;
        return q;
    }
    for (unsigned int i = 0; i < calibration.pointCount; ++i) {
        const CalibrationPoint& p = calibration.calibrationPoints[i];
        const P cam{p.camera.x, p.camera.y}, dev{p.device.x, p.device.y};
        if (!std::isfinite(cam.x) || !std::isfinite(cam.y) || !std::isfinite(dev.x) || !std::isfinite(dev.y)) {
            q.result = korvan::ResultInvalidArgument;
            return q;
        }
        t.camera.push_back(cam);
        t.device.push_back(dev);
    }
    q.gridSize = t.n;
    q.points.resize(calibration.pointCount);
    Spacing(t, q);
    const auto affine = FitAffine(t.camera, t.device);
    if (!affine) {
        // Every camera point on one line: no map can come out of this table.
        q.result = korvan::ResultInvalidArgument;
        return q;
    }
    AffinePart(t, *affine, q);
    if (t.n != 0) {
        LeaveOneOut(t, q);
        FoldedCells(t, q.mirrored, q);
    }
    return q;
}
