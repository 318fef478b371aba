#pragma once
// The device's sequence memory and its user data block.
#include <korvan/device/detail/session.h>
#include <korvan/device/sequence_memory_info.h>
#include <korvan/export.h>

namespace korvan::detail {

/// Reads the table of stored sequences into the process-wide table; their number, 0 on failure.
KORVAN_API unsigned int GetSequenceCount(Session& session);
/// Entry `index` of the table last read.
KORVAN_API unsigned int GetMemoryUsage(unsigned int index, SequenceMemoryInfo* info);
KORVAN_API unsigned int GetAvailableMemory(Session& session, unsigned int* freeBytes, unsigned int* largestBlock);
KORVAN_API unsigned int DefragmentMemory(Session& session);
KORVAN_API unsigned int DeleteSequence(Session& session, unsigned short sequenceNumber);

/// On 0, `*data` holds `*length` bytes from HeapAllocate.
KORVAN_API unsigned int GetUserData(Session& session, unsigned char** data, unsigned int* length);
KORVAN_API unsigned int SetUserData(Session& session, const unsigned char* data, unsigned int length);

}  // namespace korvan::detail
