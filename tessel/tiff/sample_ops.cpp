#include <tessel/tiff/detail/sample_ops.h>

#include <cstring>

namespace tessel::detail {
namespace {

template <typename T, typename Swap>
void reverseAll(unsigned char* data, size_t bytes, Swap swap) {
    size_t n = bytes / sizeof(T);
    for (size_t i = 0; i < n; ++i) {
        T v;
        std::memcpy(&v, data + i * sizeof(T), sizeof(T));
        v = swap(v);
        std::memcpy(data + i * sizeof(T), &v, sizeof(T));
    }
}

// The sample loops below read and write little-endian values through memcpy,
// which is exact on the little-endian hosts this library is built for.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "sample loops assume a little-endian host");

}  // namespace

void reverseSampleBytes(unsigned char* data, size_t bytes, unsigned bits) {
    switch (bits) {
    case 16:
        reverseAll<uint16_t>(data, bytes, [](uint16_t v) { return static_cast<uint16_t>((v << 8) | (v >> 8)); });
        break;
    case 32: reverseAll<uint32_t>(data, bytes, [](uint32_t v) { return __builtin_bswap32(v); }); break;
    case 64: reverseAll<uint64_t>(data, bytes, [](uint64_t v) { return __builtin_bswap64(v); }); break;
    default: break;
    }
}

void int16Range(const unsigned char* data, size_t bytes, int16_t& minimum, int16_t& maximum) {
    int16_t lo = 32767, hi = -32768;
    size_t n = bytes / 2;
    for (size_t i = 0; i < n; ++i) {
        int16_t v;
        std::memcpy(&v, data + 2 * i, 2);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    minimum = lo;
    maximum = hi;
}

void addToInt16(unsigned char* data, size_t bytes, uint16_t offset) {
    size_t n = bytes / 2;
    for (size_t i = 0; i < n; ++i) {
        uint16_t v;
        std::memcpy(&v, data + 2 * i, 2);
        v = static_cast<uint16_t>(v + offset);
        std::memcpy(data + 2 * i, &v, 2);
    }
}

}  // namespace tessel::detail
