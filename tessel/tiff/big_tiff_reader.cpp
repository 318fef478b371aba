#include <tessel/tiff/big_tiff_reader.h>

#include <tessel/tiff/detail/concurrent_tasks.h>
#include <tessel/tiff/detail/memory_advice.h>
#include <tessel/tiff/detail/sample_ops.h>
#include <tessel/tiff/detail/tiff_file.h>
#include <tessel/tiff/detail/z_positions.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

using namespace tessel::detail;

namespace {

uint64_t bytesPerSample(uint32_t pixelType) {
    switch (pixelType) {
    case TiffStackPixel_UInt8:
    case TiffStackPixel_Int8: return 1;
    case TiffStackPixel_UInt16:
    case TiffStackPixel_Int16: return 2;
    case TiffStackPixel_UInt64:
    case TiffStackPixel_Int64:
    case TiffStackPixel_Float64: return 8;
    default: return 4;
    }
}

// a * b, or the largest value when that does not fit (such an image lies beyond any data).
uint64_t saturatingProduct(uint64_t a, uint64_t b) {
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) return std::numeric_limits<uint64_t>::max();
    return a * b;
}

}  // namespace

BigTiffReader::BigTiffReader(const char* path) {
    handle_ = TiffStackReader_Open(path);
    if (handle_.reader == nullptr) return;
    try {
        shape_ = TiffStackReader_GetShape(&handle_);
        const uint64_t bytes = TiffStackReader_GetDataSizeBytes(&handle_);
        // The shape leaves out every dimension equal to 1, so its third entry is not the image
        // count for images one pixel wide or high, or with several samples per pixel.
        const TiffFile& file = *static_cast<const TiffFile*>(handle_.reader);
        image_count_ = file.directoryCount();
        width_ = file.width();
        height_ = file.height();
        image_size_ = saturatingProduct(saturatingProduct(saturatingProduct(width_, height_), file.samplesPerPixel()),
                                        bytesPerSample(shape_.type));
        // A stack whose strips hold more or fewer bytes than its images announce cannot be cut
        // into whole images; loading it would report data while handing out no image.
        if (saturatingProduct(image_count_, image_size_) != bytes) {
            CloseReader();
            return;
        }
        // The reader has checked that the data fit into the file, so this stays within its size.
        data_ = std::make_shared<Bytes>(static_cast<size_t>(bytes));
        adviseLargeBuffer(data_->data(), data_->size());
        if (!TiffStackReader_GetData(&handle_, data_->data(), data_->size())) {
            CloseReader();
            data_.reset();
            return;
        }
    } catch (const std::bad_alloc&) {
        CloseReader();
        data_.reset();
        return;
    }
    scale_data();
    ReadZData();
}

BigTiffReader::~BigTiffReader() {
    CloseReader();
    TiffStackReader_Close(&handle_);  // releases a failure message left by opening
}

void BigTiffReader::CloseReader() {
    if (handle_.reader != nullptr) TiffStackReader_Close(&handle_);
}

void BigTiffReader::scale_data() {
    const size_t n = hardwareThreads();
    const size_t total = data_->size();
    const size_t chunk = (total / n) & ~size_t{1};  // even, so no sample is split
    auto bounds = [&](size_t i, unsigned char*& begin, size_t& bytes) {
        begin = data_->data() + i * chunk;
        bytes = i + 1 < n ? chunk : total - i * chunk;
    };

    std::vector<int16_t> lows(n), highs(n);
    runConcurrently(n, [&](size_t i) {
        unsigned char* begin;
        size_t bytes;
        bounds(i, begin, bytes);
        int16Range(begin, bytes, lows[i], highs[i]);
    });
    const int lowest = *std::min_element(lows.begin(), lows.end());
    const int highest = *std::max_element(highs.begin(), highs.end());

    if (lowest < 0) {
        const auto shift = static_cast<uint16_t>(-lowest);
        runConcurrently(n, [&](size_t i) {
            unsigned char* begin;
            size_t bytes;
            bounds(i, begin, bytes);
            addToInt16(begin, bytes, shift);
        });
        minimum_ = 0;
        maximum_ = static_cast<uint16_t>(highest - lowest);
    } else {
        minimum_ = static_cast<uint16_t>(lowest);
        maximum_ = static_cast<uint16_t>(highest);
    }
}

void BigTiffReader::ReadZData() {
    z_start_ = 0;
    z_step_ = 1.0;
    const size_t bytes = TiffStackReader_GetMetadataSizeBytes(&handle_);
    std::string text(bytes, '\0');
    if (bytes == 0 || !TiffStackReader_GetMetadata(&handle_, text.data(), text.size())) {
        metadata_ok_ = false;
        return;
    }
    double start = 0, step = 0;
    metadata_ok_ = parseZPositions(text, start, step);
    if (metadata_ok_) {
        z_start_ = start;
        z_step_ = step;
    }
}

bool BigTiffReader::IsImageDataOK() { return handle_.reader != nullptr; }

bool BigTiffReader::IsMetadataOK() { return metadata_ok_; }

bool BigTiffReader::GetSingleImageSize(uint64_t& size) {
    size = image_size_;
    return IsImageDataOK();
}

bool BigTiffReader::GetImageDimensions(uint64_t& width, uint64_t& height) {
    width = width_;
    height = height_;
    return IsImageDataOK();
}

bool BigTiffReader::GetZData(uint64_t& count, double& start, double& step) {
    count = image_count_;
    start = z_start_;
    step = z_step_;
    return IsImageDataOK();
}

bool BigTiffReader::GetMinMax(uint16_t& minimum, uint16_t& maximum) {
    if (!IsImageDataOK()) return false;
    minimum = minimum_;
    maximum = maximum_;
    return true;
}

std::unique_ptr<std::vector<uint8_t>> BigTiffReader::GetImage(uint64_t index) {
    if (!IsImageDataOK() || index >= image_count_) return nullptr;
    const uint64_t begin = index * image_size_;  // within the data: checked at load
    return std::make_unique<std::vector<uint8_t>>(data_->begin() + static_cast<ptrdiff_t>(begin),
                                                  data_->begin() + static_cast<ptrdiff_t>(begin + image_size_));
}
