// TIFF and BigTIFF files through the 16-bit stack class: load, then every query, every image
// (a bounded number of them), and a check that the images the class hands out add up.
#include "fuzz_file.h"

#include <tessel/tiff/big_tiff_reader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile file(".tif");
    if (!fuzz::WriteFile(file.Path(), data, size)) return 0;
    BigTiffReader reader(file.CPath());
    uint64_t imageSize = 0, width = 0, height = 0, count = 0;
    double start = 0, step = 0;
    uint16_t minimum = 0, maximum = 0;
    reader.IsMetadataOK();
    reader.GetImageDimensions(width, height);
    reader.GetZData(count, start, step);
    const bool ok = reader.GetSingleImageSize(imageSize);
    if (reader.GetMinMax(minimum, maximum) && minimum > maximum) __builtin_trap();
    if (!ok) {
        if (reader.GetImage(0)) __builtin_trap();  // no data, no images
        return 0;
    }
    uint64_t i = 0;
    for (; i < count && i < 256; ++i) {
        // Every image the count promises is handed out, with the announced size.
        auto image = reader.GetImage(i);
        if (!image || image->size() != imageSize) __builtin_trap();
    }
    if (i == count && reader.GetImage(count)) __builtin_trap();
    return 0;
}
