#include "preview/png_file.h"

#include <filesystem>
#include <fstream>

// stb's encoder, compiled here only and kept private to this file (no stdio: we write the bytes).
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace preview {
namespace {

void Append(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

}  // namespace

std::string EncodeRgbPng(int width, int height, const unsigned char* rgb) {
    std::string encoded;
    if (width <= 0 || height <= 0 || stbi_write_png_to_func(Append, &encoded, width, height, 3, rgb, width * 3) == 0)
        return "";
    return encoded;
}

bool WriteRgbPng(const std::string& path, int width, int height, const unsigned char* rgb, std::string* error) {
    const std::string encoded = EncodeRgbPng(width, height, rgb);
    if (encoded.empty()) {
        *error = "cannot encode the picture for " + path;
        return false;
    }
    // u8path: on Windows the stream then opens the wide form of the name.
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    if (!out) {
        *error = "cannot create " + path;
        return false;
    }
    out.write(encoded.data(), static_cast<std::streamsize>(encoded.size()));
    out.flush();
    if (!out) {
        *error = "writing " + path + " failed";
        return false;
    }
    return true;
}

}  // namespace preview
