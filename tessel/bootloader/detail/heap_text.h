#pragma once
// Strings handed to applications come from malloc so that Bootloader::Free and
// RS232::FreeRS232Memory (both free()) release them alike.
#include <cstdlib>
#include <cstring>

namespace tessel::detail {

// A malloc'ed copy of `length` bytes of `text`, NUL-terminated; null when allocation fails.
inline char* CopyText(const char* text, size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) return nullptr;
    if (length > 0) std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

// A malloc'ed copy of `text`; null for a null `text`.
inline char* CopyText(const char* text) { return text == nullptr ? nullptr : CopyText(text, std::strlen(text)); }

// Replaces an owned string with a copy of `text` (null leaves none).
inline void ReplaceText(char*& owned, const char* text) {
    char* copy = CopyText(text);
    std::free(owned);
    owned = copy;
}

}  // namespace tessel::detail
