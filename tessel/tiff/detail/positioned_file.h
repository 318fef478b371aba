#pragma once
// Read-only file access at explicit offsets; keeps no file position, so one
// open file can serve reads from several threads at once.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessel::detail {

class PositionedFile {
public:
    // Opens an existing regular file for reading; null when that is not possible.
    static std::unique_ptr<PositionedFile> open(const char* path);
    ~PositionedFile();
    PositionedFile(const PositionedFile&) = delete;
    PositionedFile& operator=(const PositionedFile&) = delete;

    // Size of the file when it was opened.
    uint64_t size() const { return size_; }
    // Reads exactly `bytes` bytes at `offset`; false on an error or a short read.
    bool ReadAt(uint64_t offset, void* destination, size_t bytes) const;

private:
    PositionedFile(std::intptr_t descriptor, uint64_t size) : descriptor_(descriptor), size_(size) {}
    std::intptr_t descriptor_;  // a file descriptor on POSIX, a HANDLE on Windows
    uint64_t size_;
};

}  // namespace tessel::detail
