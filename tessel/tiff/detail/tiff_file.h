#pragma once
// The file reader behind the C interface: header, image file directories,
// strips, descriptions and acquisition metadata of one TIFF or BigTIFF file.
// Everything read from the file is checked against the file's size before use.
// Failures are std::exception with the message for the caller.
#include <tessel/tiff/detail/positioned_file.h>
#include <tessel/tiff/tiff_stack_reader.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tessel::detail {

enum class TiffKind { classic = 0, big = 1 };
enum class ByteOrder { little = 0, big = 1 };

struct TagEntry {
    uint16_t type = 0;
    uint64_t count = 0;
    uint64_t location = 0;  // file offset of the values
};

struct Strip {
    uint64_t offset = 0;
    uint64_t bytes = 0;
};

struct Directory {
    uint64_t offset = 0;
    std::vector<std::pair<uint16_t, TagEntry>> tags;  // sorted by tag number
    std::vector<Strip> strips;
    uint64_t bitsPerSample = 0;
    uint64_t dataBytes = 0;  // sum of the strip byte counts

    const TagEntry* find(uint16_t tag) const;
};

// Size in bytes of one value of a TIFF field type; throws for unknown types.
unsigned fieldTypeSize(uint16_t type);

class TiffFile {
public:
    // Opens the file and reads header and directories; throws on any failure.
    explicit TiffFile(const char* path);

    TiffStackShape shape() const;
    // The first directory's values as stored; the shape leaves out those equal to 1.
    uint64_t width() const { return width_; }
    uint64_t height() const { return height_; }
    uint64_t samplesPerPixel() const { return samplesPerPixel_; }
    uint64_t dataSize() const { return dataSize_; }
    // Reads all strips of all directories into `buffer`, little endian.
    void ReadData(void* buffer, uint64_t bytes) const;

    size_t directoryCount() const { return directories_.size(); }
    // Throws std::out_of_range for an index past the last directory.
    uint64_t DescriptionSize(size_t index) const;
    void ReadDescription(size_t index, void* buffer, uint64_t bytes) const;
    uint64_t AllDescriptionsSize() const;
    void ReadAllDescriptions(void* buffer) const;

    std::string metadata() const;

private:
    template <TiffKind kind, ByteOrder order>
    void WalkDirectories();
    template <ByteOrder order>
    uint64_t ReadValueAs(const TagEntry& e, const unsigned char* raw) const;
    template <ByteOrder order>
    std::vector<uint64_t> ReadValues(uint16_t tag, const TagEntry& e) const;
    template <ByteOrder order>
    uint64_t FirstValue(uint16_t tag, const Directory& d) const;
    template <ByteOrder order>
    void ReadStrips(Directory& d);
    template <ByteOrder order>
    void CheckStoredAsIs(const Directory& d) const;
    void CheckValuesInFile(uint16_t tag, const TagEntry& e) const;
    void Read(uint64_t offset, void* destination, size_t bytes) const;
    // The directory walk's small reads, served from one cached block of the file. Only the
    // constructor uses it (one thread).
    void ReadSmall(uint64_t offset, void* destination, size_t bytes) const;
    struct Window;
    void ReadWindow(const Window& w) const;

    std::unique_ptr<PositionedFile> file_;
    std::vector<Directory> directories_;
    TiffKind kind_ = TiffKind::classic;
    uint64_t firstDirectoryOffset_ = 0;
    ByteOrder order_ = ByteOrder::little;
    uint64_t width_ = 0;
    uint64_t height_ = 0;
    uint64_t samplesPerPixel_ = 1;
    uint32_t pixelType_ = 0;
    uint64_t dataEnd_ = 0;
    uint64_t dataSize_ = 0;
    uint64_t totalEntries_ = 0;
    uint64_t totalStrips_ = 0;
    mutable std::vector<unsigned char> walkCache_;
    mutable uint64_t walkCacheOffset_ = 0;
};

}  // namespace tessel::detail
