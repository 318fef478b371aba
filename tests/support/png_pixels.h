#pragma once
// PNG pictures decoded for checks: by libpng where it is installed (a decoder independent of the
// encoder the preview uses), else by stb's decoder.
#include <string>
#include <vector>

namespace testsupport {

struct PngPixels {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgb;  ///< 3 bytes a pixel, rows top down
    /// Red + green + blue of the pixel at (x, y).
    int Brightness(unsigned x, unsigned y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return p[0] + p[1] + p[2];
    }
};

/// Decodes the PNG file at `path` into 8-bit RGB; false when it does not decode.
bool ReadPng(const std::string& path, PngPixels* pixels);

}  // namespace testsupport
