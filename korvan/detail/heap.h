#pragma once
// The one allocation pair behind every block korvan hands to an application (user data,
// intensity lists, polygon points), so that each release function frees with the allocator
// that made the block, whichever heap the application itself uses.
#include <korvan/export.h>

#include <cstddef>
#include <cstring>

namespace korvan::detail {

/// `bytes` bytes (at least 1, so a zero-length block is still distinct from null); null when
/// the allocation fails.
KORVAN_API void* HeapAllocate(std::size_t bytes);
/// Releases a block from HeapAllocate; null is ignored.
KORVAN_API void HeapRelease(void* block);

/// A new heap copy of `count` trivially copyable items; null for none or on failure.
template <class T>
T* HeapCopy(const T* items, std::size_t count) {
    if (items == nullptr || count == 0) return nullptr;
    void* block = HeapAllocate(count * sizeof(T));
    if (block != nullptr) std::memcpy(block, items, count * sizeof(T));
    return static_cast<T*>(block);
}

}  // namespace korvan::detail
