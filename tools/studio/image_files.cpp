#include "tools/studio/image_files.h"

#include "preview/png_file.h"
#include "tools/studio/folder_access.h"
#include "tools/studio/request_error.h"

#include <tessel/tiff/tiff_stack_reader.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fs = std::filesystem;

namespace tools::studio {
namespace {

enum class Kind { Tiff, Png };

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

Kind KindOf(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw RequestError(404, "no image " + path.filename().string());
    const std::string ext = Lower(path.extension().string());
    if (ext == ".tif" || ext == ".tiff") return Kind::Tiff;
    if (ext == ".png") return Kind::Png;
    throw RequestError(415, path.filename().string() + " is not an image (TIFF, BigTIFF or PNG)");
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

/// Size and depth from the PNG header: the signature, then the IHDR chunk first.
ImageInfo DescribePng(const fs::path& path) {
    const std::string bytes = ReadWholeFile(path);
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (bytes.size() < 33 || bytes.compare(0, 8, kSignature, 8) != 0 || bytes.compare(12, 4, "IHDR") != 0)
        throw RequestError(400, path.filename().string() + " is not a PNG file");
    ImageInfo info;
    info.planes = 1;
    info.width = BigEndian32(bytes, 16);
    info.height = BigEndian32(bytes, 20);
    info.bitsPerSample = static_cast<unsigned char>(bytes[24]);
    return info;
}

/// An open stack, closed when it goes.
class Stack {
public:
    explicit Stack(const fs::path& path) : handle_(TiffStackReader_Open(path.string().c_str())) {
        if (!handle_.reader) {
            // A failed open still holds its message, which Close frees.
            const std::string why = handle_.log ? handle_.log : "";
            TiffStackReader_Close(&handle_);
            throw RequestError(400, "cannot read " + path.filename().string() + ": " + why);
        }
        const TiffStackShape shape = TiffStackReader_GetShape(&handle_);
        type_ = shape.type;
        planes_ = std::max(1, TiffStackReader_GetImageDescriptionCount(&handle_));
        // The shape leaves out every dimension of 1, fastest first: samples, width, height, count.
        std::vector<uint64_t> dims(shape.dims, shape.dims + shape.ndim);
        if (planes_ > 1 && !dims.empty()) dims.pop_back();
        if (dims.size() == 3) {
            samples_ = dims[0], width_ = dims[1], height_ = dims[2];
        } else {
            width_ = dims.size() > 0 ? dims[0] : 1;
            height_ = dims.size() > 1 ? dims[1] : 1;
        }
    }
    ~Stack() { TiffStackReader_Close(&handle_); }
    Stack(const Stack&) = delete;
    Stack& operator=(const Stack&) = delete;

    ImageInfo Info() const {
        ImageInfo info;
        info.planes = planes_;
        info.width = static_cast<long>(width_);
        info.height = static_cast<long>(height_);
        static const int kBits[] = {8, 16, 32, 64, 8, 16, 32, 64, 32, 64};
        info.bitsPerSample = type_ < 10 ? kBits[type_] : 0;
        return info;
    }

    /// The first sample of every pixel of one plane, as numbers.
    std::vector<double> Plane(int plane, const std::string& name) {
        std::vector<unsigned char> data(TiffStackReader_GetDataSizeBytes(&handle_));
        if (data.empty() || !TiffStackReader_GetData(&handle_, data.data(), data.size()))
            throw RequestError(400, "cannot read " + name + ": " + (handle_.log ? handle_.log : "no pixel data"));
        const size_t bytes = Info().bitsPerSample / 8, pixels = width_ * height_;
        const size_t first = static_cast<size_t>(plane) * pixels * samples_;
        if (bytes == 0 || (first + pixels * samples_) * bytes > data.size())
            throw RequestError(400, name + " holds fewer pixels than its header says");
        std::vector<double> values(pixels);
        for (size_t i = 0; i < pixels; ++i) values[i] = Sample(&data[(first + i * samples_) * bytes]);
        return values;
    }

private:
    // Samples come back little-endian; read them so on any host.
    double Sample(const unsigned char* p) const {
        uint64_t raw = 0;
        const int bytes = Info().bitsPerSample / 8;
        for (int i = bytes - 1; i >= 0; --i) raw = raw << 8 | p[i];
        switch (type_) {
        case TiffStackPixel_Int8: return static_cast<int8_t>(raw);
        case TiffStackPixel_Int16: return static_cast<int16_t>(raw);
        case TiffStackPixel_Int32: return static_cast<int32_t>(raw);
        case TiffStackPixel_Int64: return static_cast<double>(static_cast<int64_t>(raw));
        case TiffStackPixel_Float32: {
            const auto bits = static_cast<uint32_t>(raw);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return f;
        }
        case TiffStackPixel_Float64: {
            double d;
            std::memcpy(&d, &raw, sizeof d);
            return d;
        }
        default: return static_cast<double>(raw);
        }
    }

    TiffStackReader handle_;
    uint32_t type_ = 0;
    int planes_ = 1;
    uint64_t samples_ = 1, width_ = 1, height_ = 1;
};

/// The value below which `share` of the finite values lie.
double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    const auto at = values.begin() + static_cast<long>(std::floor(share * (values.size() - 1)));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

}  // namespace

ImageInfo DescribeImage(const fs::path& path) {
    if (KindOf(path) == Kind::Png) return DescribePng(path);
    return Stack(path).Info();
}

std::string ImagePng(const fs::path& path, int plane) {
    const std::string name = path.filename().string();
    if (KindOf(path) == Kind::Png) {
        DescribePng(path);
        if (plane != 0) throw RequestError(400, name + " has one plane, not " + std::to_string(plane + 1));
        return ReadWholeFile(path);
    }
    Stack stack(path);
    const ImageInfo info = stack.Info();
    if (plane < 0 || plane >= info.planes)
        throw RequestError(
            400, name + " has planes 0.." + std::to_string(info.planes - 1) + ", not " + std::to_string(plane));
    std::vector<double> values = stack.Plane(plane, name);
    std::vector<double> finite;
    finite.reserve(values.size());
    for (double v : values)
        if (std::isfinite(v)) finite.push_back(v);
    // A few hot or dead pixels must not set the contrast of the whole plane.
    const double black = Percentile(finite, 0.005), white = Percentile(finite, 0.995);
    const double span = white > black ? white - black : 1;
    std::vector<unsigned char> rgb(values.size() * 3);
    for (size_t i = 0; i < values.size(); ++i) {
        const double v = std::isfinite(values[i]) ? std::clamp((values[i] - black) / span, 0.0, 1.0) : 0;
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = static_cast<unsigned char>(std::lround(v * 255));
    }
    const std::string png =
        preview::EncodeRgbPng(static_cast<int>(info.width), static_cast<int>(info.height), rgb.data());
    if (png.empty()) throw RequestError(400, "cannot encode plane " + std::to_string(plane) + " of " + name);
    return png;
}

}  // namespace tools::studio
