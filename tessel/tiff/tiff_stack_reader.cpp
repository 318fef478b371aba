#include <tessel/tiff/tiff_stack_reader.h>

#include <tessel/tiff/detail/tiff_file.h>
#include <tessel/version.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>

using tessel::detail::TiffFile;

namespace {

// The log text is malloc'ed so that C callers could release it the same way,
// but the handle owns it: replacing or closing frees it.
void setLog(TiffStackReader* h, const char* message) {
    std::free(h->log);
    const size_t n = std::strlen(message) + 1;
    h->log = static_cast<char*>(std::malloc(n));
    if (h->log != nullptr) std::memcpy(h->log, message, n);
}

void clearLog(TiffStackReader* h) {
    std::free(h->log);
    h->log = nullptr;
}

TiffFile& fileOf(TiffStackReader* h) {
    if (h->reader == nullptr) throw std::runtime_error("No file is open.");
    return *static_cast<TiffFile*>(h->reader);
}

// Runs `op` and turns any exception into `failed` plus the message in the log.
template <typename Result, typename Op>
Result guarded(TiffStackReader* h, Result failed, Op op) noexcept {
    if (h == nullptr) return failed;
    try {
        return op(fileOf(h));
    } catch (const std::exception& e) {
        setLog(h, e.what());
    } catch (...) {
        setLog(h, "Unknown failure.");
    }
    return failed;
}

}  // namespace

extern "C" {

const char* TiffStackReader_APIVersion(void) {
    static const char* const text = [] {
        static char buffer[1024];
        std::snprintf(buffer, sizeof buffer, "Version %s-%s by %s", TESSEL_VERSION_STRING, TESSEL_SOURCE_REVISION,
                      "the tessel developers");
        return buffer;
    }();
    return text;
}

TiffStackReader TiffStackReader_Open(const char* filename) {
    TiffStackReader h{nullptr, nullptr};
    try {
        h.reader = new TiffFile(filename);
    } catch (const std::exception& e) {
        setLog(&h, e.what());
    } catch (...) {
        setLog(&h, "Unknown failure.");
    }
    return h;
}

void TiffStackReader_Close(TiffStackReader* handle) {
    if (handle == nullptr) return;
    delete static_cast<TiffFile*>(handle->reader);
    handle->reader = nullptr;
    clearLog(handle);
}

TiffStackShape TiffStackReader_GetShape(TiffStackReader* handle) {
    return guarded(handle, TiffStackShape{}, [](TiffFile& f) { return f.shape(); });
}

uint64_t TiffStackReader_GetDataSizeBytes(TiffStackReader* handle) {
    return guarded(handle, uint64_t{0}, [](TiffFile& f) { return f.dataSize(); });
}

int TiffStackReader_GetData(TiffStackReader* handle, void* buffer, size_t bytes) {
    if (handle == nullptr) return 0;
    clearLog(handle);
    guarded(handle, 0, [&](TiffFile& f) {
        if (buffer == nullptr) throw std::invalid_argument("No buffer given.");
        f.ReadData(buffer, bytes);
        return 1;
    });
    return handle->log == nullptr ? 1 : 0;
}

int TiffStackReader_GetImageDescriptionCount(TiffStackReader* handle) {
    return guarded(handle, 0, [](TiffFile& f) { return static_cast<int>(f.directoryCount()); });
}

size_t TiffStackReader_GetImageDescriptionSizeBytes(TiffStackReader* handle, int index) {
    return guarded(handle, size_t{0},
                   [&](TiffFile& f) { return static_cast<size_t>(f.DescriptionSize(static_cast<size_t>(index))); });
}

int TiffStackReader_GetImageDescription(TiffStackReader* handle, int index, char* buffer, size_t bytes) {
    return guarded(handle, 0, [&](TiffFile& f) {
        f.ReadDescription(static_cast<size_t>(index), buffer, buffer == nullptr ? 0 : bytes);
        return 1;
    });
}

size_t TiffStackReader_GetAllImageDescriptionsSizeBytes(TiffStackReader* handle) {
    return guarded(handle, size_t{0}, [](TiffFile& f) { return static_cast<size_t>(f.AllDescriptionsSize()); });
}

int TiffStackReader_GetAllImageDescriptions(TiffStackReader* handle, char* buffer) {
    return guarded(handle, 0, [&](TiffFile& f) {
        if (buffer == nullptr && f.AllDescriptionsSize() > 0) throw std::invalid_argument("No buffer given.");
        f.ReadAllDescriptions(buffer);
        return 1;
    });
}

size_t TiffStackReader_GetMetadataSizeBytes(TiffStackReader* handle) {
    return guarded(handle, size_t{0}, [](TiffFile& f) { return f.metadata().size(); });
}

int TiffStackReader_GetMetadata(TiffStackReader* handle, char* buffer, size_t bytes) {
    return guarded(handle, 0, [&](TiffFile& f) {
        const std::string m = f.metadata();
        if (m.size() > bytes) throw std::length_error("Assertion failed: m.size()<=bytesof_buf");
        if (buffer == nullptr && !m.empty()) throw std::invalid_argument("No buffer given.");
        if (!m.empty()) std::memcpy(buffer, m.data(), m.size());
        return 1;
    });
}

}  // extern "C"
