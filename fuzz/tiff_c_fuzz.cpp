// TIFF and BigTIFF files through the C interface: open, shape, pixel data into a buffer of the
// reported size (up to a cap), image descriptions and metadata.
#include "fuzz_file.h"

#include <tessel/tiff/tiff_stack_reader.h>

#include <cstring>
#include <vector>

namespace {
// A file of a few kilobytes may announce gigabytes; reading those proves nothing more.
constexpr uint64_t kDataCap = 64u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile file(".tif");
    if (!fuzz::WriteFile(file.Path(), data, size)) return 0;
    TiffStackReader r = TiffStackReader_Open(file.CPath());
    if (r.reader) {
        const TiffStackShape shape = TiffStackReader_GetShape(&r);
        if (shape.ndim > 10) __builtin_trap();
        const uint64_t bytes = TiffStackReader_GetDataSizeBytes(&r);
        if (bytes > 0 && bytes <= kDataCap) {
            std::vector<uint8_t> pixels(bytes);
            TiffStackReader_GetData(&r, pixels.data(), pixels.size());
            // A buffer one byte short must be refused, never overrun.
            TiffStackReader_GetData(&r, pixels.data(), pixels.size() - 1);
        }
        const int descriptions = TiffStackReader_GetImageDescriptionCount(&r);
        for (int i = -1; i <= descriptions && i < 64; ++i) {
            const size_t n = TiffStackReader_GetImageDescriptionSizeBytes(&r, i);
            if (n > kDataCap) continue;
            std::vector<char> text(n ? n : 1);  // exact, so an overrun shows
            TiffStackReader_GetImageDescription(&r, i, text.data(), n);
        }
        const size_t all = TiffStackReader_GetAllImageDescriptionsSizeBytes(&r);
        if (all <= kDataCap) {
            std::vector<char> text(all ? all : 1);
            TiffStackReader_GetAllImageDescriptions(&r, text.data());
        }
        const size_t meta = TiffStackReader_GetMetadataSizeBytes(&r);
        if (meta <= kDataCap) {
            std::vector<char> text(meta ? meta : 1);
            TiffStackReader_GetMetadata(&r, text.data(), meta);
        }
    }
    TiffStackReader_Close(&r);
    return 0;
}
