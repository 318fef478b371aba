#include <tessel/config/detail/atomic_file.h>
#include <tessel/config/detail/wide_path.h>

#include <windows.h>

#include <atomic>

namespace tessel::detail {
namespace {

bool WriteAll(HANDLE file, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const std::size_t left = data.size() - done;
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, data.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// Creates "<target>.tmp<pid>.<n>" exclusively.
HANDLE CreateTemporary(const std::wstring& target, std::wstring* temp) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(counter++);
        HANDLE file = CreateFileW(temp->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A rename over the target is the one step a kill cannot cut in half: the name shows the old
// file or the new one. ReplaceFileW is no such step under Wine (a process terminated inside it
// was seen to leave no target at all, only the complete temporary), so it is not used. The old
// file's attributes are carried over by hand; its security comes, as for any new file, from the
// folder, which loses only permissions set on that one file.
bool MoveIntoPlace(const std::wstring& temp, const std::wstring& target, DWORD oldAttributes, bool existed) {
    constexpr DWORD kCarried =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (existed && (oldAttributes & kCarried) != 0) SetFileAttributesW(temp.c_str(), oldAttributes & kCarried);
    return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

bool replaceFile(const char* fileName, const std::string& data) {
    const std::wstring target = WideFromUtf8(fileName);
    if (target.empty()) return false;

    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;

    std::wstring temp;
    HANDLE file = CreateTemporary(target, &temp);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(file, data) && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    if (ok) ok = MoveIntoPlace(temp, target, attributes, existed);
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

}  // namespace tessel::detail
