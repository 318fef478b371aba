#include <tessel/tiff/detail/tiff_file.h>

#include <tessel/tiff/detail/byte_order.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_set>

namespace tessel::detail {
namespace {

using std::runtime_error;
using std::to_string;

constexpr uint16_t kImageWidth = 256;
constexpr uint16_t kImageLength = 257;
constexpr uint16_t kBitsPerSample = 258;
constexpr uint16_t kCompression = 259;
constexpr uint16_t kImageDescription = 270;
constexpr uint16_t kStripOffsets = 273;
constexpr uint16_t kSamplesPerPixel = 277;
constexpr uint16_t kStripByteCounts = 279;
constexpr uint16_t kPlanarConfiguration = 284;
constexpr uint16_t kSampleFormat = 339;

// Every strip needs at least four bytes of the file for its offset and byte
// count, even when both are packed into directory entries; a file claiming
// more strips than that reuses the same bytes and is refused before the strip
// lists grow beyond the file's size.
constexpr uint64_t kMinBytesPerStrip = 4;

uint64_t toUnsigned(double v) {
    if (!(v >= 0)) return 0;
    if (v >= 18446744073709551615.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

uint32_t resolvePixelType(uint64_t format, uint64_t bits) {
    int column = bits == 8 ? 0 : bits == 16 ? 1 : bits == 32 ? 2 : bits == 64 ? 3 : -1;
    if (column >= 0) {
        if (format == 1) return static_cast<uint32_t>(column);
        if (format == 2) return static_cast<uint32_t>(4 + column);
        if (format == 3 && column >= 2) return static_cast<uint32_t>(6 + column);
    }
    throw runtime_error("Could not resolve pixel type.");
}

}  // namespace

const TagEntry* Directory::find(uint16_t tag) const {
    auto it = std::lower_bound(tags.begin(), tags.end(), tag,
                               [](const std::pair<uint16_t, TagEntry>& t, uint16_t k) { return t.first < k; });
    return it != tags.end() && it->first == tag ? &it->second : nullptr;
}

unsigned fieldTypeSize(uint16_t type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7: return 1;
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11:
    case 13: return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18: return 8;
    default: throw runtime_error("Got unrecognized element type in a tiff tag.");
    }
}

void TiffFile::Read(uint64_t offset, void* destination, size_t bytes) const {
    if (!file_->ReadAt(offset, destination, bytes))
        throw runtime_error("Could not read " + to_string(bytes) + " bytes at offset " + to_string(offset) + ".");
}

// A stack of thousands of pages has thousands of directories, each asking for a few small
// reads; one block read per directory keeps opening it cheap.
void TiffFile::ReadSmall(uint64_t offset, void* destination, size_t bytes) const {
    constexpr uint64_t kBlock = 4096;
    const uint64_t size = file_->size();
    if (bytes > kBlock || offset > size || size - offset < bytes) {
        Read(offset, destination, bytes);  // too large to cache, or reported as an error there
        return;
    }
    if (walkCache_.empty() || offset < walkCacheOffset_ || offset + bytes > walkCacheOffset_ + walkCache_.size()) {
        walkCache_.resize(static_cast<size_t>(std::min(kBlock, size - offset)));
        walkCacheOffset_ = offset;
        Read(offset, walkCache_.data(), walkCache_.size());
    }
    std::memcpy(destination, walkCache_.data() + (offset - walkCacheOffset_), bytes);
}

TiffFile::TiffFile(const char* path) {
    file_ = PositionedFile::open(path);
    if (!file_) throw runtime_error("Could not open file.");
    const uint64_t size = file_->size();
    // Byte order and version come first, so that a short file that is no tiff
    // at all is named as such.
    if (size < 4) throw runtime_error("File too short to be a tiff.");

    unsigned char header[8] = {};
    Read(0, header, static_cast<size_t>(std::min<uint64_t>(size, sizeof header)));
    if (header[0] == 'I' && header[1] == 'I')
        order_ = ByteOrder::little;
    else if (header[0] == 'M' && header[1] == 'M')
        order_ = ByteOrder::big;
    else
        throw runtime_error("Invalid tiff.  Endian-ness check returned an invalid id.");

    // Writers disagree on the version's byte order, so both readings count.
    uint16_t version = loadLittle<uint16_t>(header + 2);
    if (version == 42 || version == 10752)
        kind_ = TiffKind::classic;
    else if (version == 43 || version == 11008)
        kind_ = TiffKind::big;
    else
        throw runtime_error("Unrecognized Tiff sub-type");
    if (size < 8) throw runtime_error("File too short to be a tiff.");

    const bool big = order_ == ByteOrder::big;
    if (kind_ == TiffKind::classic) {
        firstDirectoryOffset_ =
            big ? loadUnsigned<uint32_t, true>(header + 4) : loadUnsigned<uint32_t, false>(header + 4);
    } else {
        if (size < 16) throw runtime_error("File too short to be a tiff.");
        unsigned char raw[8];
        Read(8, raw, sizeof raw);
        firstDirectoryOffset_ = big ? loadUnsigned<uint64_t, true>(raw) : loadUnsigned<uint64_t, false>(raw);
    }

    if (kind_ == TiffKind::classic)
        big ? WalkDirectories<TiffKind::classic, ByteOrder::big>()
            : WalkDirectories<TiffKind::classic, ByteOrder::little>();
    else
        big ? WalkDirectories<TiffKind::big, ByteOrder::big>() : WalkDirectories<TiffKind::big, ByteOrder::little>();
    std::vector<unsigned char>().swap(walkCache_);

    for (const Directory& d : directories_)
        for (const Strip& s : d.strips) dataEnd_ = std::max(dataEnd_, s.offset + s.bytes);
}

void TiffFile::CheckValuesInFile(uint16_t tag, const TagEntry& e) const {
    const uint64_t size = file_->size();
    if (e.location > size || e.count > (size - e.location) / fieldTypeSize(e.type))
        throw runtime_error("Values of tag " + to_string(tag) + " lie outside the file.");
}

template <ByteOrder order>
uint64_t TiffFile::ReadValueAs(const TagEntry& e, const unsigned char* raw) const {
    constexpr bool big = order == ByteOrder::big;
    switch (e.type) {
    case 1:
    case 2:
    case 7: return raw[0];
    case 6: return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(raw[0])));
    case 3: return loadUnsigned<uint16_t, big>(raw);
    case 8: return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(loadUnsigned<uint16_t, big>(raw))));
    case 4:
    case 13: return loadUnsigned<uint32_t, big>(raw);
    case 9: return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(loadUnsigned<uint32_t, big>(raw))));
    case 16:
    case 18:
    case 17: return loadUnsigned<uint64_t, big>(raw);
    case 5: {
        uint32_t num = loadUnsigned<uint32_t, big>(raw), den = loadUnsigned<uint32_t, big>(raw + 4);
        return den == 0 ? 0 : num / den;
    }
    case 10: {
        int64_t num = static_cast<int32_t>(loadUnsigned<uint32_t, big>(raw));
        int64_t den = static_cast<int32_t>(loadUnsigned<uint32_t, big>(raw + 4));
        return den == 0 ? 0 : static_cast<uint64_t>(num / den);
    }
    case 11: {
        uint32_t bits = loadUnsigned<uint32_t, big>(raw);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return toUnsigned(f);
    }
    case 12: {
        uint64_t bits = loadUnsigned<uint64_t, big>(raw);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return toUnsigned(v);
    }
    default: throw runtime_error("Improper type for tag.  Or don't know how to handle.");
    }
}

template <ByteOrder order>
std::vector<uint64_t> TiffFile::ReadValues(uint16_t tag, const TagEntry& e) const {
    CheckValuesInFile(tag, e);
    const unsigned width = fieldTypeSize(e.type);
    std::vector<unsigned char> raw(static_cast<size_t>(e.count * width));
    if (!raw.empty()) ReadSmall(e.location, raw.data(), raw.size());
    std::vector<uint64_t> values(static_cast<size_t>(e.count));
    for (size_t i = 0; i < values.size(); ++i) values[i] = ReadValueAs<order>(e, raw.data() + i * width);
    return values;
}

template <ByteOrder order>
uint64_t TiffFile::FirstValue(uint16_t tag, const Directory& d) const {
    const TagEntry* e = d.find(tag);
    if (e == nullptr) throw runtime_error("Could not find tag " + to_string(tag));
    if (e->count == 0) throw runtime_error("Tag " + to_string(tag) + " has no value.");
    CheckValuesInFile(tag, *e);
    unsigned char raw[8];
    ReadSmall(e->location, raw, fieldTypeSize(e->type));
    return ReadValueAs<order>(*e, raw);
}

template <ByteOrder order>
void TiffFile::ReadStrips(Directory& d) {
    const TagEntry* counts = d.find(kStripByteCounts);
    const TagEntry* offsets = d.find(kStripOffsets);
    if (counts == nullptr || offsets == nullptr)
        throw runtime_error("No strip offsets found.  This reader only reads Tiffs with strip data");
    if (counts->count != offsets->count) throw runtime_error("Number of StripOffsets and StripByteCounts disagree.");

    const uint64_t size = file_->size();
    const uint64_t room = size / kMinBytesPerStrip;
    if (counts->count > room || totalStrips_ > room - counts->count)
        throw runtime_error("The file lists more strips than it has room for.");
    totalStrips_ += counts->count;

    std::vector<uint64_t> starts = ReadValues<order>(kStripOffsets, *offsets);
    std::vector<uint64_t> lengths = ReadValues<order>(kStripByteCounts, *counts);
    d.strips.resize(starts.size());
    for (size_t i = 0; i < starts.size(); ++i) {
        if (lengths[i] > size || starts[i] > size - lengths[i]) throw runtime_error("Strip data lie outside the file.");
        // Strips of a sound file never share bytes, so together they fit into the file;
        // this also bounds what a caller allocates for the data.
        if (dataSize_ + lengths[i] > size) throw runtime_error("Strip byte counts add up to more than the file holds.");
        dataSize_ += lengths[i];
        d.dataBytes += lengths[i];
        d.strips[i] = Strip{starts[i], lengths[i]};
    }
}

// The reader hands out strip bytes as they are stored, samples interleaved; anything
// else would come back as a success full of wrong pixels, so it is refused by name.
template <ByteOrder order>
void TiffFile::CheckStoredAsIs(const Directory& d) const {
    const uint64_t compression = d.find(kCompression) ? FirstValue<order>(kCompression, d) : 1;
    if (compression != 1)
        throw runtime_error("Compressed image data (compression " + to_string(compression) +
                            ") is not supported.  Save the stack uncompressed.");
    const uint64_t samples = d.find(kSamplesPerPixel) ? FirstValue<order>(kSamplesPerPixel, d) : 1;
    const uint64_t planar = d.find(kPlanarConfiguration) ? FirstValue<order>(kPlanarConfiguration, d) : 1;
    if (samples > 1 && planar != 1)
        throw runtime_error(
            "Samples stored as separate planes are not supported.  Save the stack with interleaved "
            "(contiguous) samples.");
}

template <TiffKind kind, ByteOrder order>
void TiffFile::WalkDirectories() {
    constexpr bool big = order == ByteOrder::big;
    constexpr bool classic = kind == TiffKind::classic;
    constexpr uint64_t countBytes = classic ? 2 : 8;
    constexpr uint64_t entryBytes = classic ? 12 : 20;
    constexpr uint64_t fieldBytes = classic ? 4 : 8;  // value field of an entry, and the next-directory link
    constexpr uint64_t valueFieldAt = classic ? 8 : 12;
    auto loadOffset = [](const unsigned char* p) -> uint64_t {
        if constexpr (classic)
            return loadUnsigned<uint32_t, big>(p);
        else
            return loadUnsigned<uint64_t, big>(p);
    };

    const uint64_t size = file_->size();
    std::unordered_set<uint64_t> visited;
    std::vector<unsigned char> block;
    for (uint64_t offset = firstDirectoryOffset_; offset != 0;) {
        if (!visited.insert(offset).second)
            throw runtime_error("The chain of image file directories returns to an earlier directory.");
        if (offset > size || size - offset < countBytes + fieldBytes)
            throw runtime_error("Image file directory at offset " + to_string(offset) + " lies outside the file.");

        unsigned char countRaw[8];
        ReadSmall(offset, countRaw, countBytes);
        const uint64_t entries =
            classic ? loadUnsigned<uint16_t, big>(countRaw) : loadUnsigned<uint64_t, big>(countRaw);
        if (entries > (size - offset - countBytes - fieldBytes) / entryBytes)
            throw runtime_error("Image file directory at offset " + to_string(offset) + " lies outside the file.");
        // Directories of a sound file do not overlap; counting their entries against
        // the file size keeps the records from growing beyond it.
        if (totalEntries_ + entries > size / entryBytes) throw runtime_error("Image file directories overlap.");
        totalEntries_ += entries;

        block.resize(static_cast<size_t>(entries * entryBytes + fieldBytes));
        ReadSmall(offset + countBytes, block.data(), block.size());

        Directory d;
        d.offset = offset;
        d.tags.reserve(static_cast<size_t>(entries));
        for (uint64_t i = 0; i < entries; ++i) {
            const unsigned char* p = block.data() + i * entryBytes;
            TagEntry e;
            const uint16_t tag = loadUnsigned<uint16_t, big>(p);
            e.type = loadUnsigned<uint16_t, big>(p + 2);
            e.count = classic ? loadUnsigned<uint32_t, big>(p + 4) : loadUnsigned<uint64_t, big>(p + 4);
            const bool packed = e.count <= fieldBytes / fieldTypeSize(e.type);
            e.location = packed ? offset + countBytes + i * entryBytes + valueFieldAt : loadOffset(p + valueFieldAt);
            d.tags.emplace_back(tag, e);
        }
        // A tag listed twice keeps its last entry.
        std::stable_sort(d.tags.begin(), d.tags.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        size_t kept = 0;
        for (size_t i = 0; i < d.tags.size(); ++i) {
            if (i + 1 < d.tags.size() && d.tags[i + 1].first == d.tags[i].first) continue;
            d.tags[kept++] = d.tags[i];
        }
        d.tags.resize(kept);

        ReadStrips<order>(d);
        d.bitsPerSample = FirstValue<order>(kBitsPerSample, d);
        CheckStoredAsIs<order>(d);
        if (const TagEntry* description = d.find(kImageDescription)) CheckValuesInFile(kImageDescription, *description);

        if (directories_.empty()) {
            width_ = FirstValue<order>(kImageWidth, d);
            height_ = FirstValue<order>(kImageLength, d);
            samplesPerPixel_ = d.find(kSamplesPerPixel) ? FirstValue<order>(kSamplesPerPixel, d) : 1;
            const uint64_t format = d.find(kSampleFormat) ? FirstValue<order>(kSampleFormat, d) : 1;
            pixelType_ = resolvePixelType(format, d.bitsPerSample);
        }

        offset = loadOffset(block.data() + entries * entryBytes);
        directories_.push_back(std::move(d));
    }
}

TiffStackShape TiffFile::shape() const {
    TiffStackShape s{};
    s.type = pixelType_;
    const uint64_t candidates[4] = {samplesPerPixel_, width_, height_, directories_.size()};
    uint32_t n = 0;
    for (uint64_t v : candidates)
        if (v != 1) s.dims[n++] = v;
    for (uint32_t i = n; i < 10; ++i) s.dims[i] = 1;
    s.ndim = n;
    s.strides[0] = 1;
    for (uint32_t i = 0; i < n; ++i) s.strides[i + 1] = s.strides[i] * s.dims[i];
    return s;
}

}  // namespace tessel::detail
