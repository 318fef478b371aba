#include <tessel/serial/detail/trace.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tessel::detail {
namespace {

// Decided once: the environment is read at the first trace test.
std::FILE* TraceFile() {
    static std::FILE* file = []() -> std::FILE* {
        const char* value = std::getenv("TESSEL_TRACE");
        if (value == nullptr || *value == '\0' || std::strcmp(value, "0") == 0) return nullptr;
        if (std::strcmp(value, "1") == 0) return stderr;
        std::FILE* f = std::fopen(value, "a");
        return f != nullptr ? f : stderr;
    }();
    return file;
}

}  // namespace

bool TraceEnabled() { return TraceFile() != nullptr; }

void TraceBytes(const char* direction, const char* port, const unsigned char* data, std::size_t n) {
    std::FILE* f = TraceFile();
    if (f == nullptr || n == 0) return;
    static std::mutex mutex;  // lines of two ports must not interleave
    std::lock_guard<std::mutex> lock(mutex);
    std::fprintf(f, "[tessel] %s %s %zu:", port != nullptr ? port : "?", direction, n);
    for (std::size_t i = 0; i < n; ++i) std::fprintf(f, " %02X", data[i]);
    std::fputc('\n', f);
    std::fflush(f);
}

}  // namespace tessel::detail
