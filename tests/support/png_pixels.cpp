#include "support/png_pixels.h"

#ifdef TEST_SUPPORT_PNG_WITH_LIBPNG
#include <png.h>
#else
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <memory>
#endif

namespace testsupport {

#ifdef TEST_SUPPORT_PNG_WITH_LIBPNG
bool ReadPng(const std::string& path, PngPixels* pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    pixels->rgb.assign(PNG_IMAGE_SIZE(image), 0);
    pixels->width = image.width;
    pixels->height = image.height;
    return png_image_finish_read(&image, nullptr, pixels->rgb.data(), 0, nullptr) != 0;
}
#else
bool ReadPng(const std::string& path, PngPixels* pixels) {
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> data(stbi_load(path.c_str(), &width, &height, &channels, 3),
                                                   stbi_image_free);
    if (!data) return false;
    pixels->width = static_cast<unsigned>(width);
    pixels->height = static_cast<unsigned>(height);
    pixels->rgb.assign(data.get(), data.get() + static_cast<size_t>(width) * height * 3);
    return true;
}
#endif

}  // namespace testsupport
