#pragma once
// Images the page opens from the folder: TIFF and BigTIFF stacks (through the project's stack
// reader) and PNG files, described and shown as 8-bit PNG planes.
#include <filesystem>
#include <string>

namespace tools::studio {

struct ImageInfo {
    int planes = 0;
    long width = 0, height = 0;
    int bitsPerSample = 0;
};

/// What an image file holds. Throws RequestError: 404 when it does not exist, 415 for a file
/// that is neither a TIFF stack nor a PNG, 400 when it cannot be read (with the reader's reason).
ImageInfo DescribeImage(const std::filesystem::path& path);

/// Plane `plane` of a TIFF stack as an 8-bit gray PNG with automatic contrast (the 0.5th and
/// 99.5th percentiles of the plane become black and white; the first sample of a pixel with
/// several), or a PNG file's own bytes (plane 0 only). Throws RequestError as DescribeImage, and
/// 400 for a plane the file does not have.
std::string ImagePng(const std::filesystem::path& path, int plane);

}  // namespace tools::studio
