#include <tessel/config/detail/atomic_file.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessel::detail {
namespace {

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The path the new content must land on: the target of a symbolic link,
// so the link survives the rename.
std::string resolveTarget(const char* fileName) {
    struct stat st {};
    if (::lstat(fileName, &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(fileName, resolved) != nullptr) return resolved;
    }
    return fileName;
}

// Creates "<target>.tmp<pid>.<n>" exclusively, mode 0666 less the umask.
int createTemporary(const std::string& target, std::string* temp) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = target + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
        const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool replaceFile(const char* fileName, const std::string& data) {
    if (fileName == nullptr || *fileName == '\0') return false;
    const std::string target = resolveTarget(fileName);

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) return false;

    std::string temp;
    const int fd = createTemporary(target, &temp);
    if (fd < 0) return false;

    // A new file gets what the umask allows (as from open), a replaced one its old mode.
    bool ok = (!existed || ::fchmod(fd, old.st_mode & 07777) == 0) && writeAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace tessel::detail
