#include <korvan/sequence/sequence_object.h>

#include <algorithm>
#include <iterator>

SequenceObject::SequenceObject() : startTick(0), repeatCount(0), laserIds{}, intensities{} {}

SequenceObject::~SequenceObject() = default;

int SequenceObject::IsIlluminationObject() { return 0; }

void SequenceObject::CopyCommonDataFromObj(const SequenceObject* source) {
    if (source == nullptr) return;
    startTick = source->startTick;
    repeatCount = source->repeatCount;
    std::copy(std::begin(source->laserIds), std::end(source->laserIds), laserIds);
    std::copy(std::begin(source->intensities), std::end(source->intensities), intensities);
}
