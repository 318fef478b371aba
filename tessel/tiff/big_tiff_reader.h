#pragma once
// A whole 16-bit TIFF or BigTIFF image stack in memory, made non-negative,
// with its sample range and the z positions of its images.
#include <tessel/export.h>
#include <tessel/tiff/tiff_stack_reader.h>

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

class TESSEL_API BigTiffReader {
    // Allocator that leaves new bytes uninitialised: the read overwrites the
    // whole stack anyway, and zero-filling a gigabyte first would double the cost.
    template <typename T>
    struct UninitialisedAllocator : std::allocator<T> {
        template <typename U>
        struct rebind {
            using other = UninitialisedAllocator<U>;
        };
        UninitialisedAllocator() = default;
        template <typename U>
        UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
        template <typename U>
        void construct(U* p) noexcept {
            ::new (static_cast<void*>(p)) U;
        }
        template <typename U, typename... Args>
        void construct(U* p, Args&&... args) {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    };
    using Bytes = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

public:
    // Loads the stack at `path`. Samples are taken as signed 16-bit little-endian
    // values whatever the file's pixel type; when any is negative, all are shifted
    // so that the smallest becomes 0. Never throws for problems with the file:
    // check IsImageDataOK().
    explicit BigTiffReader(const char* path);
    ~BigTiffReader();
    BigTiffReader(const BigTiffReader&) = delete;
    BigTiffReader& operator=(const BigTiffReader&) = delete;

    // True when the stack was loaded: every image of the file is whole (its strips hold
    // exactly width x height x samples x sample size bytes per image).
    bool IsImageDataOK();
    // True when the metadata held the z positions ("hStackManager.zs = ...");
    // otherwise GetZData reports start 0 and step 1.
    bool IsMetadataOK();
    // Bytes of one image. Returns IsImageDataOK().
    bool GetSingleImageSize(uint64_t& size);
    // Width and height of the images in pixels.
    bool GetImageDimensions(uint64_t& width, uint64_t& height);
    // Number of images, z of the first image, z distance between images.
    bool GetZData(uint64_t& count, double& start, double& step);
    // Smallest and largest sample after the shift; false, outputs untouched, without data.
    bool GetMinMax(uint16_t& minimum, uint16_t& maximum);
    // A copy of image `index` (GetSingleImageSize bytes); null without data or for
    // an index past the last image. The caller owns the copy.
    std::unique_ptr<std::vector<uint8_t>> GetImage(uint64_t index);

private:
    void CloseReader();
    void scale_data();
    void ReadZData();

    TiffStackReader handle_{nullptr, nullptr};
    TiffStackShape shape_{};
    uint64_t image_size_ = 0;
    std::shared_ptr<Bytes> data_;
    bool metadata_ok_ = false;
    uint64_t image_count_ = 0;
    uint64_t width_ = 0;
    uint64_t height_ = 0;
    double z_start_ = 0;
    double z_step_ = 1.0;
    uint16_t minimum_ = 0;
    uint16_t maximum_ = 0;
};
