// Positioned reads beyond 4 GiB, where 32-bit offsets would wrap: a sparse file of about 6 GiB
// (its end set without writing the middle, so it takes next to no disk space) with known bytes
// around the 4 GiB mark, read back through the stack reader's file layer.
#include <tessel/tiff/detail/positioned_file.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

using tessel::detail::PositionedFile;

constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;
constexpr std::uint64_t kFileSize = 6 * (std::uint64_t{1} << 30) + 12345;

// Marks written into the sparse file: each is 16 bytes whose values depend on their offset.
const std::uint64_t kMarks[] = {0,
                                kFourGiB - 8,         // across the 4 GiB line
                                kFourGiB + 9,         // just past it, odd
                                kFourGiB + 4096 - 3,  // across a page past it
                                5 * (std::uint64_t{1} << 30) + 7,
                                kFileSize - 16};  // the very end
constexpr std::size_t kMarkLength = 16;

std::vector<unsigned char> MarkBytes(std::uint64_t offset) {
    std::vector<unsigned char> bytes(kMarkLength);
    for (std::size_t i = 0; i < kMarkLength; ++i)
        bytes[i] = static_cast<unsigned char>((offset >> (8 * (i % 8))) ^ (0xA5 + i));
    return bytes;
}

// Creates the sparse file with its marks; an empty string when it worked, else why not.
std::string WriteSparseFile(const std::string& path) {
#if defined(_WIN32)
    const std::wstring wide = std::filesystem::u8path(path).wstring();
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "CreateFileW failed: " + std::to_string(GetLastError());
    // Sparse on NTFS only when asked; Wine's files are sparse anyway where the host's are.
    DWORD unused = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
    std::string why;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(kFileSize);
    if (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file))
        why = "the file system refused a file of " + std::to_string(kFileSize) + " bytes: error " +
              std::to_string(GetLastError());
    for (std::uint64_t mark : kMarks) {
        if (!why.empty()) break;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(mark);
        const auto bytes = MarkBytes(mark);
        DWORD written = 0;
        if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
            !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            why = "writing a mark failed: error " + std::to_string(GetLastError());
    }
    CloseHandle(file);
    return why;
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return "open failed";
    std::string why;
    if (::ftruncate(fd, static_cast<off_t>(kFileSize)) != 0)
        why = "the file system refused a file of " + std::to_string(kFileSize) + " bytes";
    for (std::uint64_t mark : kMarks) {
        if (!why.empty()) break;
        const auto bytes = MarkBytes(mark);
        if (::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(mark)) != static_cast<ssize_t>(bytes.size()))
            why = "writing a mark failed";
    }
    ::close(fd);
    return why;
#endif
}

class PositionedFileBeyond4GiB : public ::testing::Test {
protected:
    void SetUp() override {
        // A sparse file takes only the pages of its marks; ask for a margin all the same.
        std::error_code ec;
        const auto space = std::filesystem::space(std::filesystem::u8path(dir_.Path()), ec);
        if (ec || space.available < (std::uint64_t{1} << 20)) GTEST_SKIP() << "less than 1 MiB free in the temp folder";
        const std::string why = WriteSparseFile(path_);
        if (!why.empty()) GTEST_SKIP() << why;
        file_ = PositionedFile::open(path_.c_str());
        ASSERT_NE(file_, nullptr);
    }
    void TearDown() override {
        file_.reset();
        std::error_code ec;
        std::filesystem::remove(std::filesystem::u8path(path_), ec);
    }

    testsupport::TempDir dir_;
    const std::string path_ = dir_.File("sparse.bin");
    std::unique_ptr<PositionedFile> file_;
};

TEST_F(PositionedFileBeyond4GiB, MarksReadBackAtTheirOffsetsAndHolesAreZero) {
    EXPECT_EQ(file_->size(), kFileSize);
    for (std::uint64_t mark : kMarks) {
        std::vector<unsigned char> got(kMarkLength, 0xEE);
        ASSERT_TRUE(file_->ReadAt(mark, got.data(), got.size())) << "at " << mark;
        EXPECT_EQ(got, MarkBytes(mark)) << "at " << mark;
    }
    // A read spanning a mark and the hole after it: the mark, then zeros.
    const std::uint64_t at = 5 * (std::uint64_t{1} << 30) + 7;
    std::vector<unsigned char> span(kMarkLength + 64, 0xEE);
    ASSERT_TRUE(file_->ReadAt(at, span.data(), span.size()));
    EXPECT_TRUE(std::equal(span.begin(), span.begin() + kMarkLength, MarkBytes(at).begin()));
    EXPECT_EQ(std::vector<unsigned char>(span.begin() + kMarkLength, span.end()), std::vector<unsigned char>(64, 0));
    // Exactly at 4 GiB: the second half of the mark across the line.
    std::vector<unsigned char> half(kMarkLength / 2, 0xEE);
    ASSERT_TRUE(file_->ReadAt(kFourGiB, half.data(), half.size()));
    EXPECT_TRUE(std::equal(half.begin(), half.end(), MarkBytes(kFourGiB - 8).begin() + kMarkLength / 2));
    // The same low 32 bits below 4 GiB hold no mark: a wrapped offset would read one there.
    std::vector<unsigned char> low(kMarkLength, 0xEE);
    ASSERT_TRUE(file_->ReadAt(9, low.data(), low.size()));
    EXPECT_NE(low, MarkBytes(kFourGiB + 9));
}

TEST_F(PositionedFileBeyond4GiB, ReadsPastTheEndFail) {
    const struct {
        std::uint64_t offset;
        std::size_t bytes;
    } cases[] = {{kFileSize - 8, 16}, {kFileSize, 1}, {kFileSize + kFourGiB, 1}, {UINT64_MAX - 4, 8}};
    for (const auto& c : cases) {
        unsigned char buffer[16];
        EXPECT_FALSE(file_->ReadAt(c.offset, buffer, c.bytes)) << "at " << c.offset << ", " << c.bytes << " bytes";
    }
}

}  // namespace
