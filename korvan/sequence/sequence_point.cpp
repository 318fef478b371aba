#include <korvan/sequence/sequence_point.h>

#include <korvan/detail/heap.h>

#include <utility>

using korvan::detail::HeapCopy;
using korvan::detail::HeapRelease;

SequencePoint::SequencePoint(RPOINTF p) : SequencePoint(p.x, p.y, nullptr, 0) {}

SequencePoint::SequencePoint(double x, double y) : SequencePoint(x, y, nullptr, 0) {}

SequencePoint::SequencePoint(RPOINTF p, const IntensityStamp* list, unsigned int count)
    : SequencePoint(p.x, p.y, list, count) {}

SequencePoint::SequencePoint(double x, double y, const IntensityStamp* list, unsigned int count) {
    init(x, y, list, count);
}

void SequencePoint::init(double x, double y, const IntensityStamp* list, unsigned int count) {
    position = RPOINTF(x, y);
    useCalibration = switchLaserOn = setIntensity = switchLaserOff = waitForMirror = 1;
    intensityList = nullptr;
    intensityCount = 0;
    SetIntensityList(list, count);
}

// Everything but the list, which each copy or move handles its own way.
void SequencePoint::CopyScalars(const SequencePoint& other) {
    SequenceObject::operator=(other);
    position = other.position;
    useCalibration = other.useCalibration;
    switchLaserOn = other.switchLaserOn;
    setIntensity = other.setIntensity;
    switchLaserOff = other.switchLaserOff;
    waitForMirror = other.waitForMirror;
}

SequencePoint::SequencePoint(const SequencePoint& other) : intensityList(nullptr), intensityCount(0) {
    CopyScalars(other);
    SetIntensityList(other.intensityList, other.intensityCount);
}

SequencePoint::SequencePoint(SequencePoint&& other) noexcept
    : intensityList(std::exchange(other.intensityList, nullptr)),
      intensityCount(std::exchange(other.intensityCount, 0u)) {
    CopyScalars(other);
}

SequencePoint& SequencePoint::operator=(const SequencePoint& other) {
    if (this == &other) return *this;
    CopyScalars(other);
    SetIntensityList(other.intensityList, other.intensityCount);
    return *this;
}

SequencePoint& SequencePoint::operator=(SequencePoint&& other) noexcept {
    if (this == &other) return *this;
    CopyScalars(other);
    HeapRelease(intensityList);
    intensityList = std::exchange(other.intensityList, nullptr);
    intensityCount = std::exchange(other.intensityCount, 0u);
    return *this;
}

SequencePoint::~SequencePoint() { HeapRelease(intensityList); }

int SequencePoint::IsIlluminationObject() { return 1; }

void SequencePoint::SetIntensityList(const IntensityStamp* list, unsigned int count) {
    // Copy first: `list` may be this point's own list.
    IntensityStamp* copy = HeapCopy(list, count);
    HeapRelease(intensityList);
    intensityList = copy;
    intensityCount = copy != nullptr ? count : 0;
}

IntensityStamp* SequencePoint::GetIntensityList(unsigned int* count) const {
    if (count == nullptr) return nullptr;
    *count = 0;
    IntensityStamp* copy = HeapCopy(intensityList, intensityCount);
    if (copy != nullptr) *count = intensityCount;
    return copy;
}

void SequencePoint::FreeIntensityList(IntensityStamp* list) { HeapRelease(list); }
