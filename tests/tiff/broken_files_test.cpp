// Files that are damaged or hostile: every one must fail with a message (or
// read soundly), never crash, hang, read outside the file or over-allocate.
#include "raw_tiff.h"
#include "tiff_fixtures.h"

#include <tessel/tiff/tiff_stack_reader.h>
#include <tiffio.h>

#include <gtest/gtest.h>

using namespace tiff_test;

namespace {

std::string openFailure(RawTiff& raw, TempDir& dir) {
    raw.save(dir.File("broken.tif"));
    OpenedStack s(dir.File("broken.tif"));
    EXPECT_EQ(s.h.reader, nullptr);
    return s.log();
}

const std::vector<uint8_t> kPixels(8, 3);

TEST(BrokenFiles, MissingOrDisagreeingTags) {
    TempDir dir;
    {  // A tiled image has no strip offsets.
        RawTiff raw(false, false);
        auto e = basicEntries(2, 2, 16, raw.append(kPixels), 8);
        e.erase(e.begin() + 3);
        e.push_back({324, LONG, {16}});
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "No strip offsets found.  This reader only reads Tiffs with strip data");
    }
    {
        RawTiff raw(true, true);
        auto e = basicEntries(2, 2, 16, raw.append(kPixels), 8);
        e[4].values = {4, 4};
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "Number of StripOffsets and StripByteCounts disagree.");
    }
    for (uint16_t tag : {258, 256, 257}) {
        RawTiff raw(false, true);
        auto e = basicEntries(2, 2, 16, raw.append(kPixels), 8);
        e.erase(std::find_if(e.begin(), e.end(), [&](const RawEntry& x) { return x.tag == tag; }));
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "Could not find tag " + std::to_string(tag));
    }
}

TEST(BrokenFiles, UnknownTypesAndPixelLayouts) {
    TempDir dir;
    {
        RawTiff raw(false, false);
        auto e = basicEntries(2, 2, 16, raw.append(kPixels), 8);
        e.push_back({305, 14, {0}});
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "Got unrecognized element type in a tiff tag.");
    }
    {  // 16-bit floating point has no pixel type here.
        RawTiff raw(false, false);
        auto e = basicEntries(2, 2, 16, raw.append(kPixels), 8);
        e.push_back({339, SHORT, {3}});
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "Could not resolve pixel type.");
    }
    {  // A later image of 12 bits: the stack opens, reading it is refused untouched.
        RawTiff raw(false, false);
        raw.addImage(2, 2, 16, kPixels);
        raw.addImage(2, 2, 12, kPixels);
        raw.save(dir.File("bits.tif"));
        OpenedStack s(dir.File("bits.tif"));
        ASSERT_NE(s.h.reader, nullptr) << s.log();
        std::vector<uint8_t> buffer(16, 0xEE);
        EXPECT_EQ(TiffStackReader_GetData(&s.h, buffer.data(), buffer.size()), 0);
        EXPECT_EQ(s.log(), "Unexpected number of bits per sample.  Not sure what to do.");
        EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xEE));
    }
}

TEST(BrokenFiles, DirectoryChainsThatLoop) {
    TempDir dir;
    for (int target : {0, 1}) {  // back to itself, back to the first
        RawTiff raw(target == 0, false);
        const uint64_t first = raw.addImage(2, 2, 8, {1, 2, 3, 4});
        const uint64_t second = raw.addImage(2, 2, 8, {1, 2, 3, 4});
        raw.linkLastTo(target == 0 ? second : first);
        EXPECT_EQ(openFailure(raw, dir), "The chain of image file directories returns to an earlier directory.");
    }
}

TEST(BrokenFiles, OffsetsAndCountsBeyondTheFile) {
    TempDir dir;
    {
        RawTiff raw(false, false);
        raw.addImage(2, 2, 16, kPixels);
        raw.put(4, 0xFFFFFFF0u, 4);
        EXPECT_NE(openFailure(raw, dir).find("lies outside the file"), std::string::npos);
    }
    {  // An entry count far beyond what the file holds.
        RawTiff raw(true, false);
        const uint64_t d = raw.addImage(2, 2, 16, kPixels);
        raw.put(d, uint64_t{1} << 60, 8);
        EXPECT_NE(openFailure(raw, dir).find("lies outside the file"), std::string::npos);
    }
    {
        RawTiff raw(false, false);
        raw.addDirectory(basicEntries(2, 2, 16, 1000, 8));
        EXPECT_EQ(openFailure(raw, dir), "Strip data lie outside the file.");
    }
    {  // offset + byte count wraps around 2^64
        RawTiff raw(true, false);
        auto e = basicEntries(2, 2, 16, 0, 0);
        e[3] = {273, LONG8, {0xFFFFFFFFFFFFFFF0ull}};
        e[4] = {279, LONG8, {0x20}};
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "Strip data lie outside the file.");
    }
    {  // Strip values stored out of line, beyond the end
        RawTiff raw(false, true);
        auto e = basicEntries(2, 2, 16, 0, 0);
        e[3] = {273, LONG, {}, 2, 1u << 30};
        e[4] = {279, LONG, {4, 4}};
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "Values of tag 273 lie outside the file.");
    }
    {  // count x size overflows 64 bits
        RawTiff raw(true, true);
        auto e = basicEntries(2, 2, 16, raw.append(kPixels), 8);
        e.push_back({270, LONG8, {}, uint64_t{1} << 61, 64});
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "Values of tag 270 lie outside the file.");
    }
}

TEST(BrokenFiles, ClaimsThatWouldOverAllocate) {
    TempDir dir;
    {  // Many strips all pointing at the same bytes: more data than the file holds.
        RawTiff raw(false, false);
        const uint64_t at = raw.append(std::vector<uint8_t>(4096, 1));
        auto e = basicEntries(2, 2, 16, 0, 0);
        e[3] = {273, LONG, std::vector<uint64_t>(100, at)};
        e[4] = {279, LONG, std::vector<uint64_t>(100, 4096)};
        raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "Strip byte counts add up to more than the file holds.");
    }
    {  // Directories that reuse one huge strip list.
        RawTiff raw(false, false);
        const uint64_t list = raw.append(std::vector<uint8_t>(40000, 0));
        auto e = basicEntries(2, 2, 16, 0, 0);
        e[3] = {273, LONG, {}, 10000, list};
        e[4] = {279, LONG, {}, 10000, list};
        for (int i = 0; i < 20; ++i) raw.addDirectory(e);
        EXPECT_EQ(openFailure(raw, dir), "The file lists more strips than it has room for.");
    }
}

TEST(BrokenFiles, MetadataLengthsBeyondTheFile) {
    TempDir dir;
    RawTiff acquired(true, false);
    acquired.put(16, 117637889, 4);
    acquired.put(24, 0xFFFFFFFFu, 4);
    acquired.put(28, 0xFFFFFFFFu, 4);
    acquired.addImage(2, 2, 16, kPixels);
    acquired.save(dir.File("a.tif"));
    OpenedStack a(dir.File("a.tif"));
    ASSERT_NE(a.h.reader, nullptr) << a.log();
    EXPECT_EQ(TiffStackReader_GetMetadataSizeBytes(&a.h), 0u);
    EXPECT_EQ(a.log(), "Metadata lie outside the file.");

    RawTiff trailing(false, false);
    trailing.addImage(2, 2, 16, kPixels);
    trailing.append(std::vector<uint8_t>{0xFF, 0xFF, 0, 0});
    trailing.save(dir.File("t.tif"));
    OpenedStack t(dir.File("t.tif"));
    char buffer[8];
    EXPECT_EQ(TiffStackReader_GetMetadata(&t.h, buffer, sizeof buffer), 0);
    EXPECT_EQ(t.log(), "Metadata lie outside the file.");
}

TEST(BrokenFiles, TruncatedStackFailsToOpen) {
    TempDir dir;
    StackLayout layout;
    layout.pages = 4;
    writeStack(dir.File("s.tif"), layout, makeSamples(layout));
    std::vector<uint8_t> file = readFile(dir.File("s.tif"));
    file.resize(file.size() / 2);
    writeFile(dir.File("s.tif"), file);
    OpenedStack s(dir.File("s.tif"));
    EXPECT_EQ(s.h.reader, nullptr);
    EXPECT_FALSE(s.log().empty());
}

// Every byte of a small valid file replaced by values that tend to break
// offsets and counts: whatever happens must be a clean success or a message.
TEST(BrokenFiles, EveryCorruptedByteGivesASuccessOrAMessage) {
    TempDir dir;
    for (bool bigTiff : {false, true}) {
        StackLayout layout;
        layout.bigTiff = bigTiff;
        layout.bigEndian = bigTiff;
        layout.width = 4;
        layout.height = 4;
        layout.pages = 2;
        layout.rowsPerStrip = 2;
        layout.descriptions = {"a", "bb"};
        writeStack(dir.File("ok.tif"), layout, makeSamples(layout));
        const std::vector<uint8_t> original = readFile(dir.File("ok.tif"));
        // Only the header and directories matter; pixel bytes cannot break anything.
        for (size_t i = 0; i < original.size(); ++i) {
            for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
                std::vector<uint8_t> bytes = original;
                if (bytes[i] == value) continue;
                bytes[i] = value;
                writeFile(dir.File("bad.tif"), bytes);
                OpenedStack s(dir.File("bad.tif"));
                if (s.h.reader == nullptr) {
                    EXPECT_FALSE(s.log().empty()) << i;
                    continue;
                }
                const uint64_t size = TiffStackReader_GetDataSizeBytes(&s.h);
                ASSERT_LE(size, bytes.size()) << i;
                std::vector<uint8_t> data(size);
                const int ok = TiffStackReader_GetData(&s.h, data.data(), data.size());
                EXPECT_EQ(ok == 1, s.h.log == nullptr) << i;
                const size_t all = TiffStackReader_GetAllImageDescriptionsSizeBytes(&s.h);
                ASSERT_LE(all, bytes.size() * 8) << i;
                std::vector<char> text(all + 1);
                TiffStackReader_GetAllImageDescriptions(&s.h, text.data());
                const size_t meta = TiffStackReader_GetMetadataSizeBytes(&s.h);
                ASSERT_LE(meta, bytes.size()) << i;
                std::vector<char> m(meta + 1);
                TiffStackReader_GetMetadata(&s.h, m.data(), m.size());
            }
        }
    }
}

}  // namespace

// Layouts whose strip bytes are not the pixels as handed out: reading them as they are
// would return success and wrong pixels, so opening refuses them by name.
TEST(BrokenFiles, CompressedOrPlanarStacksAreRefusedNotMisread) {
    TempDir dir;
    struct Case {
        const char* name;
        uint16_t compression;
        bool separatePlanes;
        uint16_t samples;
        const char* message;  // nullptr: reads soundly
    };
    const Case cases[] = {
        {"zlib", COMPRESSION_ADOBE_DEFLATE, false, 1, "Compressed image data (compression 8) is not supported."},
        {"packbits", COMPRESSION_PACKBITS, false, 1, "Compressed image data (compression 32773) is not supported."},
        {"lzw rgb", COMPRESSION_LZW, false, 3, "Compressed image data (compression 5) is not supported."},
        {"separate rgb", COMPRESSION_NONE, true, 3, "Samples stored as separate planes are not supported."},
        // With one sample per pixel the two layouts are the same bytes.
        {"separate gray", COMPRESSION_NONE, true, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StackLayout layout;
        layout.compression = c.compression;
        layout.separatePlanes = c.separatePlanes;
        layout.samplesPerPixel = c.samples;
        const std::string path = dir.File("layout.tif");
        const std::vector<uint8_t> samples = makeSamples(layout);
        writeStack(path, layout, samples);
        OpenedStack s(path);
        if (c.message == nullptr) {
            ASSERT_NE(s.h.reader, nullptr) << s.log();
            EXPECT_EQ(s.data(), samples);
        } else {
            EXPECT_EQ(s.h.reader, nullptr);
            EXPECT_EQ(s.log().rfind(c.message, 0), 0u) << s.log();
        }
    }
}
