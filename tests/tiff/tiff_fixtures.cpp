#include "tiff_fixtures.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace tiff_test {

std::vector<uint8_t> makeSamples(const StackLayout& layout, uint32_t seed) {
    const size_t bytes =
        size_t{layout.width} * layout.height * layout.pages * layout.samplesPerPixel * (layout.bits / 8);
    std::vector<uint8_t> out(bytes);
    std::mt19937 rng(seed);
    if (layout.format == 3) {
        std::uniform_real_distribution<double> value(-1e6, 1e6);
        for (size_t i = 0; i < bytes; i += layout.bits / 8) {
            double v = value(rng);
            if (layout.bits == 32) {
                float f = static_cast<float>(v);
                std::memcpy(&out[i], &f, 4);
            } else {
                std::memcpy(&out[i], &v, 8);
            }
        }
    } else {
        for (auto& b : out) b = static_cast<uint8_t>(rng());
    }
    return out;
}

namespace {

// One strip per plane: plane s holds sample s of every pixel of `page` (interleaved there).
void WriteSeparatePlanes(TIFF* tif, const StackLayout& layout, const uint8_t* page) {
    const size_t sampleBytes = layout.bits / 8;
    const size_t pixels = size_t{layout.width} * layout.height;
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, layout.height);
    for (uint16_t s = 0; s < layout.samplesPerPixel; ++s) {
        std::vector<uint8_t> plane(pixels * sampleBytes);
        for (size_t i = 0; i < pixels; ++i)
            std::copy_n(page + (i * layout.samplesPerPixel + s) * sampleBytes, sampleBytes, &plane[i * sampleBytes]);
        if (TIFFWriteEncodedStrip(tif, s, plane.data(), static_cast<tmsize_t>(plane.size())) < 0)
            throw std::runtime_error("libtiff cannot write a plane");
    }
}

}  // namespace

void writeStack(const std::string& path, const StackLayout& layout, const std::vector<uint8_t>& samples) {
    std::string mode = "w";
    mode += layout.bigEndian ? "b" : "l";
    if (layout.bigTiff) mode += "8";
    TIFF* tif = TIFFOpen(path.c_str(), mode.c_str());
    if (tif == nullptr) throw std::runtime_error("libtiff cannot create " + path);
    const size_t rowBytes = size_t{layout.width} * layout.samplesPerPixel * (layout.bits / 8);
    const uint32_t rows = layout.rowsPerStrip == 0 ? layout.height : layout.rowsPerStrip;
    const uint8_t* page = samples.data();
    for (uint32_t p = 0; p < layout.pages; ++p) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, layout.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, layout.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bits);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, layout.format);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.samplesPerPixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, layout.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.compression);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
        if (p < layout.descriptions.size() && !layout.descriptions[p].empty())
            TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, layout.descriptions[p].c_str());
        if (layout.pages > 1) {
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(tif, TIFFTAG_PAGENUMBER, p, layout.pages);
        }
        if (layout.separatePlanes) {
            WriteSeparatePlanes(tif, layout, page);
            TIFFWriteDirectory(tif);
            page += rowBytes * layout.height;
            continue;
        }
        for (uint32_t row = 0, strip = 0; row < layout.height; row += rows, ++strip) {
            const uint32_t n = std::min(rows, layout.height - row);
            // libtiff byte-swaps the source for big-endian files, so hand it a copy.
            std::vector<uint8_t> copy(page + row * rowBytes, page + (row + n) * rowBytes);
            if (TIFFWriteEncodedStrip(tif, strip, copy.data(), static_cast<tmsize_t>(copy.size())) < 0)
                throw std::runtime_error("libtiff cannot write a strip");
        }
        TIFFWriteDirectory(tif);
        page += rowBytes * layout.height;
    }
    TIFFClose(tif);
}

std::vector<uint8_t> readWithLibtiff(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) throw std::runtime_error("libtiff cannot open " + path);
    std::vector<uint8_t> out;
    do {
        const tmsize_t stripSize = TIFFStripSize(tif);
        std::vector<uint8_t> strip(static_cast<size_t>(stripSize));
        for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
            tmsize_t got = TIFFReadEncodedStrip(tif, s, strip.data(), stripSize);
            if (got < 0) throw std::runtime_error("libtiff cannot read a strip");
            out.insert(out.end(), strip.begin(), strip.begin() + got);
        }
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return out;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tiff_test
