#include <tessel/tiff/detail/byte_order.h>
#include <tessel/tiff/detail/concurrent_tasks.h>
#include <tessel/tiff/detail/sample_ops.h>
#include <tessel/tiff/detail/tiff_file.h>

#include <algorithm>
#include <stdexcept>

namespace tessel::detail {
namespace {

// Pixel data are read in windows of the destination of at most this size, so
// that even a stack of one huge strip spreads over all threads. A multiple of
// 8 bytes, so every window starts on a sample boundary of its directory.
constexpr uint64_t kWindowBytes = uint64_t{1} << 20;

constexpr uint16_t kImageDescription = 270;
constexpr uint32_t kAcquisitionHeaderMagic = 117637889;  // 0x07030301

}  // namespace

// A part of one directory's data, [begin, end) relative to its first byte.
struct TiffFile::Window {
    const Directory* directory;
    size_t firstStrip;         // strip that holds `begin`
    uint64_t firstStripStart;  // where that strip starts, relative to the directory
    uint64_t begin, end;
    unsigned char* destination;  // receives byte `begin`
};

void TiffFile::ReadWindow(const Window& w) const {
    const auto& strips = w.directory->strips;
    uint64_t runFrom = 0, runBytes = 0;
    unsigned char* runTo = w.destination;
    auto flush = [&] {
        if (runBytes > 0) Read(runFrom, runTo, static_cast<size_t>(runBytes));
    };
    uint64_t position = w.firstStripStart;
    for (size_t s = w.firstStrip; s < strips.size() && position < w.end; ++s) {
        const uint64_t from = std::max(position, w.begin), to = std::min(position + strips[s].bytes, w.end);
        if (to > from) {
            const uint64_t fileOffset = strips[s].offset + (from - position);
            // Strips that follow each other in the file become one read.
            if (runBytes > 0 && runFrom + runBytes == fileOffset) {
                runBytes += to - from;
            } else {
                flush();
                runFrom = fileOffset;
                runBytes = to - from;
                runTo = w.destination + (from - w.begin);
            }
        }
        position += strips[s].bytes;
    }
    flush();
    if (order_ == ByteOrder::big)
        reverseSampleBytes(w.destination, static_cast<size_t>(w.end - w.begin),
                           static_cast<unsigned>(w.directory->bitsPerSample));
}

void TiffFile::ReadData(void* buffer, uint64_t bytes) const {
    if (dataSize_ == 0) throw std::runtime_error("No image data found.  Seems strange.");
    if (bytes < dataSize_) throw std::runtime_error("Input buffer size wasn't large enough.");
    // Checked before anything is read, so a refused file leaves the buffer alone.
    for (const Directory& d : directories_) {
        const uint64_t bits = d.bitsPerSample;
        if (bits != 8 && bits != 16 && bits != 32 && bits != 64)
            throw std::runtime_error("Unexpected number of bits per sample.  Not sure what to do.");
    }

    std::vector<Window> windows;
    windows.reserve(static_cast<size_t>(dataSize_ / kWindowBytes + directories_.size()));
    auto* out = static_cast<unsigned char*>(buffer);
    for (const Directory& d : directories_) {
        size_t strip = 0;
        uint64_t stripStart = 0;
        for (uint64_t begin = 0; begin < d.dataBytes; begin += kWindowBytes) {
            while (stripStart + d.strips[strip].bytes <= begin) stripStart += d.strips[strip++].bytes;
            windows.push_back(
                Window{&d, strip, stripStart, begin, std::min(begin + kWindowBytes, d.dataBytes), out + begin});
        }
        out += d.dataBytes;
    }
    // Each window writes only its own part of the buffer; byte swapping happens
    // in the same task while the data are still in the cache.
    runConcurrently(windows.size(), [&](size_t i) { ReadWindow(windows[i]); });
}

uint64_t TiffFile::DescriptionSize(size_t index) const {
    const TagEntry* e = directories_.at(index).find(kImageDescription);
    return e ? e->count * fieldTypeSize(e->type) : 0;  // cannot overflow: checked against the file when opened
}

void TiffFile::ReadDescription(size_t index, void* buffer, uint64_t bytes) const {
    const uint64_t n = std::min(DescriptionSize(index), bytes);
    if (n > 0) Read(directories_[index].find(kImageDescription)->location, buffer, static_cast<size_t>(n));
}

uint64_t TiffFile::AllDescriptionsSize() const {
    uint64_t total = 0;
    for (size_t i = 0; i < directories_.size(); ++i) total += DescriptionSize(i);
    return total;
}

void TiffFile::ReadAllDescriptions(void* buffer) const {
    std::vector<uint64_t> at(directories_.size() + 1, 0);
    for (size_t i = 0; i < directories_.size(); ++i) at[i + 1] = at[i] + DescriptionSize(i);
    auto* out = static_cast<unsigned char*>(buffer);
    runConcurrently(directories_.size(), [&](size_t i) { ReadDescription(i, out + at[i], at[i + 1] - at[i]); });
}

std::string TiffFile::metadata() const {
    const uint64_t size = file_->size();
    // The acquisition software writes its header fields little endian.
    unsigned char header[16];
    if (size >= 32) Read(16, header, sizeof header);
    if (size >= 32 && loadLittle<uint32_t>(header) == kAcquisitionHeaderMagic) {
        const uint64_t length = uint64_t{loadLittle<uint32_t>(header + 8)} + loadLittle<uint32_t>(header + 12);
        if (length > size - 32) throw std::runtime_error("Metadata lie outside the file.");
        std::string text(static_cast<size_t>(length), '\0');
        if (length > 0) Read(32, text.data(), text.size());
        return text;
    }
    if (size == dataEnd_) return {};
    // Trailing metadata: the text, then its 32-bit length as the file's last four bytes.
    unsigned char tail[4];
    Read(size - 4, tail, sizeof tail);
    const uint64_t length = loadLittle<uint32_t>(tail);
    if (length > size - 4) throw std::runtime_error("Metadata lie outside the file.");
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0) Read(size - 4 - length, text.data(), text.size());
    return text;
}

}  // namespace tessel::detail
