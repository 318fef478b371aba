#include <tessel/tiff/detail/positioned_file.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessel::detail {

std::unique_ptr<PositionedFile> PositionedFile::open(const char* path) {
    if (path == nullptr) return nullptr;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    // Directories open fine on POSIX but cannot be read; refuse them here.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PositionedFile>(new PositionedFile(fd, static_cast<uint64_t>(st.st_size)));
}

PositionedFile::~PositionedFile() { ::close(static_cast<int>(descriptor_)); }

bool PositionedFile::ReadAt(uint64_t offset, void* destination, size_t bytes) const {
    auto* out = static_cast<unsigned char*>(destination);
    while (bytes > 0) {
        if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
        ssize_t got = ::pread(static_cast<int>(descriptor_), out, bytes, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return false;  // the file ended early (it may have shrunk since opening)
        out += got;
        offset += static_cast<uint64_t>(got);
        bytes -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace tessel::detail
