#pragma once
// The library takes paths as UTF-8; the wide Windows calls need UTF-16.
#if defined(_WIN32)
#include <string>

namespace tessel::detail {

/// `utf8` as UTF-16; empty when it is null, empty or not valid UTF-8.
std::wstring WideFromUtf8(const char* utf8);
/// `wide` (`length` characters, or up to its NUL when -1) as UTF-8; empty when not convertible.
std::string Utf8FromWide(const wchar_t* wide, int length = -1);

}  // namespace tessel::detail
#endif
