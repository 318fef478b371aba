#include <korvan/sequence/sequence_object.h>

#include <algorithm>
#include <iterator>

SequenceObject::SequenceObject() : startTick(0), repeatCount(0), laserIds{}, intensities{} {}

SequenceObject::~SequenceObject() = default;

int SequenceObject::IsIlluminationObject() { return 0; }

// The overridable query is not const (applications may override it as declared); every override
// only reads, so asking it of a const element is sound.
int SequenceObject::IsIlluminationObject() const { return const_cast<SequenceObject*>(this)->IsIlluminationObject(); }

void SequenceObject::CopyCommonDataFromObj(const SequenceObject* source) {
    if (source == nullptr) return;
    startTick = source->startTick;
    repeatCount = source->repeatCount;
    std::copy(std::begin(source->laserIds), std::end(source->laserIds), laserIds);
    std::copy(std::begin(source->intensities), std::end(source->intensities), intensities);
}
