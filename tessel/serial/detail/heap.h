#pragma once
// Memory that tessel hands to an application: malloc'd here, released by the class's own free
// function (RS232::FreeRS232Memory, ASCIIProtocol::CleanupMemory).
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tessel::detail {

/// A copy of `text` on tessel's heap; null for null or when memory runs out.
inline char* HeapText(const char* text) {
    if (text == nullptr) return nullptr;
    std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
}

/// A copy of `bytes` on tessel's heap, zero-filled beyond them up to `size` (at least 1 byte).
inline unsigned char* HeapBytes(const std::vector<unsigned char>& bytes, std::size_t size) {
    auto* out = static_cast<unsigned char*>(std::calloc(size == 0 ? 1 : size, 1));
    if (out != nullptr && !bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    return out;
}

}  // namespace tessel::detail
