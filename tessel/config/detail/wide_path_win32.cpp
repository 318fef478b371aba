#include <tessel/config/detail/wide_path.h>

#include <windows.h>

namespace tessel::detail {

std::wstring WideFromUtf8(const char* utf8) {
    if (utf8 == nullptr || *utf8 == '\0') return {};
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], size) != size) return {};
    wide.resize(static_cast<std::size_t>(size - 1));  // the converted NUL
    return wide;
}

std::string Utf8FromWide(const wchar_t* wide, int length) {
    if (wide == nullptr || length == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide, length, &utf8[0], size, nullptr, nullptr) != size) return {};
    if (length < 0) utf8.resize(static_cast<std::size_t>(size - 1));
    return utf8;
}

}  // namespace tessel::detail
