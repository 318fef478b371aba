#pragma once
// Fuzz input as a file on disk, for readers that take a path. One file per process, rewritten
// for every input; removed when the process ends.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzz {

inline std::string ScratchPath(const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/korvan_fuzz_" + std::to_string(getpid()) + suffix;
}

/// Writes `data` to `path`; false when the file cannot be written.
inline bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

/// A scratch file that goes away with the object.
class ScratchFile {
public:
    explicit ScratchFile(const char* suffix) : path_(ScratchPath(suffix)) {}
    ~ScratchFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }
    const char* CPath() const { return path_.c_str(); }

private:
    std::string path_;
};

}  // namespace fuzz
