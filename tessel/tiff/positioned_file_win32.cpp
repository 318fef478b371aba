#include <tessel/config/detail/wide_path.h>
#include <tessel/tiff/detail/positioned_file.h>

#include <windows.h>

namespace tessel::detail {

std::unique_ptr<PositionedFile> PositionedFile::open(const char* path) {
    const std::wstring wide = WideFromUtf8(path);
    if (wide.empty()) return nullptr;
    // Others may read, write or rename meanwhile, as on POSIX; directories do not open without
    // FILE_FLAG_BACKUP_SEMANTICS.
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return nullptr;
    }
    return std::unique_ptr<PositionedFile>(
        new PositionedFile(reinterpret_cast<std::intptr_t>(file), static_cast<uint64_t>(size.QuadPart)));
}

PositionedFile::~PositionedFile() { CloseHandle(reinterpret_cast<HANDLE>(descriptor_)); }

bool PositionedFile::ReadAt(uint64_t offset, void* destination, size_t bytes) const {
    HANDLE file = reinterpret_cast<HANDLE>(descriptor_);
    auto* out = static_cast<unsigned char*>(destination);
    while (bytes > 0) {
        // The offset travels in the OVERLAPPED record, so concurrent reads share no position.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = bytes > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes);
        DWORD got = 0;
        if (!ReadFile(file, out, chunk, &got, &at)) return false;
        if (got == 0) return false;  // the file ended early (it may have shrunk since opening)
        out += got;
        offset += got;
        bytes -= got;
    }
    return true;
}

}  // namespace tessel::detail
