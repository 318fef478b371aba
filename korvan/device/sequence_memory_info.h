#pragma once
// One entry of the device's sequence memory.
#include <korvan/export.h>

/// A stored sequence as listed by Korvan::GetSequenceCount and read by Korvan::GetMemoryUsage.
struct KORVAN_API SequenceMemoryInfo {
    unsigned int sequenceNumber;  ///< the device's number of the sequence (16-bit on the wire)
    unsigned int size;            ///< bytes the sequence occupies in the device's memory
};
