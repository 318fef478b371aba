#include <tessel/tiff/detail/memory_advice.h>

#include <cstdint>
#include <sys/mman.h>

namespace tessel::detail {

void adviseLargeBuffer(void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kPage = 4096;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace tessel::detail
