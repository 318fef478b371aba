#pragma once
// The one place the preview encodes PNG, so the encoder can change without touching the pictures.
#include <string>

namespace preview {

/// Writes `rgb` (`width` x `height` pixels, 3 bytes each, rows top down, no padding) as an 8-bit
/// RGB PNG at the UTF-8 `path`, replacing a file there; false with `error` when it cannot.
/// The same picture encoded in memory: the PNG file's bytes, or "" when it cannot be encoded (a
/// size of 0).
std::string EncodeRgbPng(int width, int height, const unsigned char* rgb);

bool WriteRgbPng(const std::string& path, int width, int height, const unsigned char* rgb, std::string* error);

}  // namespace preview
