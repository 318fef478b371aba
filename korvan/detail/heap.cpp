#include <korvan/detail/heap.h>

#include <cstdlib>

namespace korvan::detail {

void* HeapAllocate(std::size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void HeapRelease(void* block) { std::free(block); }

}  // namespace korvan::detail
