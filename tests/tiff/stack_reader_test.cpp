// The C interface on well-formed files: pixel data against libtiff, shapes,
// descriptions, metadata and the messages of refused calls.
#include "raw_tiff.h"
#include "tiff_fixtures.h"

#include <tessel/tiff/tiff_stack_reader.h>
#include <tessel/version.h>

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

using namespace tiff_test;

namespace {

struct PixelKind {
    uint16_t format, bits;
    uint32_t code;
};

const PixelKind kPixelKinds[] = {{1, 8, 0},  {1, 16, 1}, {1, 32, 2}, {1, 64, 3}, {2, 8, 4},
                                 {2, 16, 5}, {2, 32, 6}, {2, 64, 7}, {3, 32, 8}, {3, 64, 9}};

class StackMatrix : public ::testing::TestWithParam<std::tuple<bool, bool, PixelKind, uint32_t>> {};

TEST_P(StackMatrix, PixelsMatchLibtiffAndTheWrittenSamples) {
    auto [bigTiff, bigEndian, kind, rowsPerStrip] = GetParam();
    StackLayout layout;
    layout.bigTiff = bigTiff;
    layout.bigEndian = bigEndian;
    layout.format = kind.format;
    layout.bits = kind.bits;
    layout.rowsPerStrip = rowsPerStrip;
    TempDir dir;
    const std::string path = dir.File("stack.tif");
    const std::vector<uint8_t> samples = makeSamples(layout);
    writeStack(path, layout, samples);

    OpenedStack s(path);
    ASSERT_NE(s.h.reader, nullptr) << s.log();
    const TiffStackShape shape = TiffStackReader_GetShape(&s.h);
    EXPECT_EQ(shape.type, kind.code);
    EXPECT_EQ(shape.ndim, 3u);
    EXPECT_EQ(shape.dims[0], layout.width);
    EXPECT_EQ(shape.dims[1], layout.height);
    EXPECT_EQ(shape.dims[2], layout.pages);
    EXPECT_EQ(TiffStackReader_GetImageDescriptionCount(&s.h), 3);

    const std::vector<uint8_t> ours = s.data();
    EXPECT_EQ(s.h.log, nullptr);
    EXPECT_EQ(ours, readWithLibtiff(path));
    EXPECT_EQ(ours, samples);
}

std::string matrixName(const ::testing::TestParamInfo<StackMatrix::ParamType>& info) {
    auto [bigTiff, bigEndian, kind, rows] = info.param;
    static const char* const names[] = {"u8", "u16", "u32", "u64", "i8", "i16", "i32", "i64", "f32", "f64"};
    return std::string(bigTiff ? "Big" : "Classic") + (bigEndian ? "BE" : "LE") + names[kind.code] +
           (rows == 0 ? "OneStrip" : "Strips" + std::to_string(rows));
}

INSTANTIATE_TEST_SUITE_P(AllVariants, StackMatrix,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool(), ::testing::ValuesIn(kPixelKinds),
                                            ::testing::Values(0u, 3u)),
                         matrixName);

TEST(StackShape, DropsDimensionsOfOneAndComputesStrides) {
    TempDir dir;
    StackLayout layout;
    layout.width = 512;
    layout.height = 256;
    layout.pages = 10;
    writeStack(dir.File("ten.tif"), layout, makeSamples(layout));
    OpenedStack ten(dir.File("ten.tif"));
    TiffStackShape s = TiffStackReader_GetShape(&ten.h);
    EXPECT_EQ(s.ndim, 3u);
    EXPECT_EQ(s.type, 1u);
    EXPECT_EQ(std::vector<uint64_t>(s.dims, s.dims + 4), (std::vector<uint64_t>{512, 256, 10, 1}));
    EXPECT_EQ(std::vector<uint64_t>(s.strides, s.strides + 5), (std::vector<uint64_t>{1, 512, 131072, 1310720, 0}));
    EXPECT_EQ(TiffStackReader_GetDataSizeBytes(&ten.h), 512u * 256 * 10 * 2);

    layout.pages = 1;
    writeStack(dir.File("one.tif"), layout, makeSamples(layout));
    OpenedStack one(dir.File("one.tif"));
    s = TiffStackReader_GetShape(&one.h);
    EXPECT_EQ(s.ndim, 2u);
    EXPECT_EQ(std::vector<uint64_t>(s.dims, s.dims + 3), (std::vector<uint64_t>{512, 256, 1}));

    layout = StackLayout{};
    layout.bits = 8;
    layout.samplesPerPixel = 3;
    writeStack(dir.File("rgb.tif"), layout, makeSamples(layout));
    OpenedStack rgb(dir.File("rgb.tif"));
    s = TiffStackReader_GetShape(&rgb.h);
    EXPECT_EQ(s.ndim, 4u);
    EXPECT_EQ(std::vector<uint64_t>(s.dims, s.dims + 4), (std::vector<uint64_t>{3, 24, 10, 3}));
    EXPECT_EQ(s.strides[4], 3u * 24 * 10 * 3);
    EXPECT_EQ(rgb.data(), readWithLibtiff(dir.File("rgb.tif")));
}

TEST(StackHeader, AcceptsBothVersionByteOrders) {
    // "MM" with 00 2B, "MM" with 2B 00, "II" with 00 2A: writers differ, all are read.
    TempDir dir;
    const std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    for (bool bigTiff : {false, true}) {
        for (bool swapVersion : {false, true}) {
            for (bool bigEndian : {false, true}) {
                RawTiff raw(bigTiff, bigEndian);
                raw.addImage(2, 2, 16, pixels);
                if (swapVersion) std::swap(raw.bytes[2], raw.bytes[3]);
                raw.save(dir.File("h.tif"));
                OpenedStack s(dir.File("h.tif"));
                ASSERT_NE(s.h.reader, nullptr) << bigTiff << swapVersion << bigEndian << ": " << s.log();
                const std::vector<uint8_t> expected = bigEndian ? std::vector<uint8_t>{2, 1, 4, 3, 6, 5, 8, 7} : pixels;
                EXPECT_EQ(s.data(), expected);
            }
        }
    }
}

TEST(StackOpen, ReportsFilesItCannotRead) {
    TempDir dir;
    TiffStackReader missing = TiffStackReader_Open(dir.File("absent.tif").c_str());
    EXPECT_EQ(missing.reader, nullptr);
    ASSERT_NE(missing.log, nullptr);
    EXPECT_STREQ(missing.log, "Could not open file.");
    TiffStackReader_Close(&missing);
    EXPECT_EQ(missing.log, nullptr);

    TiffStackReader folder = TiffStackReader_Open(dir.File("").c_str());
    EXPECT_EQ(folder.reader, nullptr);
    EXPECT_STREQ(folder.log, "Could not open file.");
    TiffStackReader_Close(&folder);

    writeFile(dir.File("xx.tif"), {'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0});
    OpenedStack xx(dir.File("xx.tif"));
    EXPECT_EQ(xx.h.reader, nullptr);
    EXPECT_EQ(xx.log(), "Invalid tiff.  Endian-ness check returned an invalid id.");

    writeFile(dir.File("v44.tif"), {'I', 'I', 44, 0, 8, 0, 0, 0, 0, 0, 0, 0});
    OpenedStack v44(dir.File("v44.tif"));
    EXPECT_EQ(v44.log(), "Unrecognized Tiff sub-type");

    // Too short for a directory offset, yet plainly named for what it is not.
    writeFile(dir.File("xx4.tif"), {'X', 'X', 42, 0});
    EXPECT_EQ(OpenedStack(dir.File("xx4.tif")).log(), "Invalid tiff.  Endian-ness check returned an invalid id.");
    writeFile(dir.File("v44short.tif"), {'M', 'M', 0, 44, 0});
    EXPECT_EQ(OpenedStack(dir.File("v44short.tif")).log(), "Unrecognized Tiff sub-type");

    writeFile(dir.File("short.tif"), {'I', 'I', 42});
    OpenedStack tiny(dir.File("short.tif"));
    EXPECT_EQ(tiny.h.reader, nullptr);
    EXPECT_FALSE(tiny.log().empty());
}

TEST(StackOpen, CloseIsHarmlessTwiceAndCallsOnAClosedHandleFail) {
    TempDir dir;
    StackLayout layout;
    writeStack(dir.File("s.tif"), layout, makeSamples(layout));
    TiffStackReader h = TiffStackReader_Open(dir.File("s.tif").c_str());
    ASSERT_NE(h.reader, nullptr);
    TiffStackReader_Close(&h);
    TiffStackReader_Close(&h);
    EXPECT_EQ(h.reader, nullptr);
    uint8_t buffer[16];
    EXPECT_EQ(TiffStackReader_GetData(&h, buffer, sizeof buffer), 0);
    EXPECT_STREQ(h.log, "No file is open.");
    EXPECT_EQ(TiffStackReader_GetDataSizeBytes(&h), 0u);
    TiffStackReader_Close(&h);
    EXPECT_EQ(TiffStackReader_GetData(nullptr, buffer, sizeof buffer), 0);
}

TEST(StackVersion, NamesTheLibraryVersionAndRevision) {
    const std::string text = TiffStackReader_APIVersion();
    EXPECT_EQ(text.rfind(std::string("Version ") + TESSEL_VERSION_STRING + "-" + TESSEL_SOURCE_REVISION + " by ", 0),
              0u)
        << text;
    EXPECT_EQ(TiffStackReader_APIVersion(), TiffStackReader_APIVersion());
}

TEST(StackData, RefusesSmallBuffersAndEmptyStacks) {
    TempDir dir;
    StackLayout layout;
    writeStack(dir.File("s.tif"), layout, makeSamples(layout));
    OpenedStack s(dir.File("s.tif"));
    const uint64_t size = TiffStackReader_GetDataSizeBytes(&s.h);
    std::vector<uint8_t> buffer(size, 0xAB);
    EXPECT_EQ(TiffStackReader_GetData(&s.h, buffer.data(), size - 1), 0);
    EXPECT_EQ(s.log(), "Input buffer size wasn't large enough.");
    EXPECT_EQ(buffer, std::vector<uint8_t>(size, 0xAB));
    // A later read succeeds and clears the message.
    EXPECT_EQ(TiffStackReader_GetData(&s.h, buffer.data(), size), 1);
    EXPECT_EQ(s.h.log, nullptr);

    RawTiff raw(false, false);
    raw.addDirectory(basicEntries(4, 4, 16, 0, 0));
    raw.save(dir.File("empty.tif"));
    OpenedStack empty(dir.File("empty.tif"));
    ASSERT_NE(empty.h.reader, nullptr) << empty.log();
    EXPECT_EQ(TiffStackReader_GetData(&empty.h, buffer.data(), buffer.size()), 0);
    EXPECT_EQ(empty.log(), "No image data found.  Seems strange.");
}

TEST(StackData, ReadsStripsInTheirListedOrderAndJoinsNeighbours) {
    // Strips stored out of order and with gaps; a strip larger than the read window.
    TempDir dir;
    RawTiff raw(true, true);
    std::vector<uint8_t> a(3 << 20), b(6), c(10);
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint8_t>(i * 7);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(100 + i);
    for (size_t i = 0; i < c.size(); ++i) c[i] = static_cast<uint8_t>(200 + i);
    const uint64_t at_c = raw.append(c), at_a = raw.append(a), at_b = raw.append(b);
    auto entries = basicEntries(1, 1, 16, 0, 0);
    entries[3] = {273, LONG, {at_a, at_b, at_c}};
    entries[4] = {279, LONG, {a.size(), b.size(), c.size()}};
    raw.addDirectory(entries);
    raw.save(dir.File("order.tif"));
    OpenedStack s(dir.File("order.tif"));
    ASSERT_NE(s.h.reader, nullptr) << s.log();
    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    for (size_t i = 0; i + 1 < expected.size(); i += 2) std::swap(expected[i], expected[i + 1]);
    EXPECT_EQ(s.data(), expected);
}

TEST(StackDescriptions, SizesCopiesAndMissingOnes) {
    TempDir dir;
    StackLayout layout;
    layout.descriptions = {"first image", "", "third"};
    writeStack(dir.File("d.tif"), layout, makeSamples(layout));
    OpenedStack s(dir.File("d.tif"));
    ASSERT_EQ(TiffStackReader_GetImageDescriptionCount(&s.h), 3);
    EXPECT_EQ(TiffStackReader_GetImageDescriptionSizeBytes(&s.h, 0), 12u);  // with its NUL
    EXPECT_EQ(TiffStackReader_GetImageDescriptionSizeBytes(&s.h, 1), 0u);
    EXPECT_EQ(TiffStackReader_GetImageDescriptionSizeBytes(&s.h, 2), 6u);

    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(TiffStackReader_GetImageDescription(&s.h, 0, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "first image");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(TiffStackReader_GetImageDescription(&s.h, 0, buffer, 5), 1);
    EXPECT_EQ(std::string(buffer, 6), "first#");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(TiffStackReader_GetImageDescription(&s.h, 1, buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], '#');

    EXPECT_EQ(TiffStackReader_GetImageDescription(&s.h, 3, buffer, sizeof buffer), 0);
    EXPECT_FALSE(s.log().empty());
    EXPECT_EQ(TiffStackReader_GetImageDescription(&s.h, -1, buffer, sizeof buffer), 0);
    EXPECT_EQ(TiffStackReader_GetImageDescriptionSizeBytes(&s.h, 7), 0u);

    ASSERT_EQ(TiffStackReader_GetAllImageDescriptionsSizeBytes(&s.h), 18u);
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(TiffStackReader_GetAllImageDescriptions(&s.h, buffer), 1);
    EXPECT_EQ(std::string(buffer, 19), std::string("first image\0third\0#", 19));
}

TEST(StackMetadata, ReadsAcquisitionHeaderTrailingTextOrNothing) {
    TempDir dir;
    const std::vector<uint8_t> pixels(32, 9);

    // Acquisition header at offset 16: magic, a field, lengths A and B, text at 32.
    RawTiff acquired(true, false);
    acquired.put(16, 117637889, 4);
    acquired.put(20, 3, 4);
    acquired.put(24, 6, 4);
    acquired.put(28, 5, 4);
    acquired.append(std::string("frame\nrois\n"));
    acquired.addImage(4, 4, 16, pixels);
    acquired.save(dir.File("acq.tif"));
    OpenedStack a(dir.File("acq.tif"));
    ASSERT_NE(a.h.reader, nullptr) << a.log();
    ASSERT_EQ(TiffStackReader_GetMetadataSizeBytes(&a.h), 11u);
    char text[16] = {};
    EXPECT_EQ(TiffStackReader_GetMetadata(&a.h, text, sizeof text), 1);
    EXPECT_STREQ(text, "frame\nrois\n");
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(TiffStackReader_GetMetadata(&a.h, text, 10), 0);
    EXPECT_EQ(a.log(), "Assertion failed: m.size()<=bytesof_buf");
    EXPECT_EQ(text[0], '#');

    // Trailing text followed by its length as the last four bytes.
    StackLayout layout;
    writeStack(dir.File("trail.tif"), layout, makeSamples(layout));
    std::vector<uint8_t> file = readFile(dir.File("trail.tif"));
    const std::string meta = "hStackManager.zs = 5";
    file.insert(file.end(), meta.begin(), meta.end());
    file.insert(file.end(), {static_cast<uint8_t>(meta.size()), 0, 0, 0});
    writeFile(dir.File("trail.tif"), file);
    OpenedStack t(dir.File("trail.tif"));
    ASSERT_EQ(TiffStackReader_GetMetadataSizeBytes(&t.h), meta.size());
    std::string got(meta.size(), '\0');
    EXPECT_EQ(TiffStackReader_GetMetadata(&t.h, got.data(), got.size()), 1);
    EXPECT_EQ(got, meta);
    EXPECT_EQ(t.data(), readWithLibtiff(dir.File("trail.tif")));

    // Image data at the very end of the file: no metadata at all.
    RawTiff plain(false, true);
    const uint64_t dataAt = plain.bytes.size() + 200;
    auto entries = basicEntries(4, 4, 16, dataAt, pixels.size());
    plain.addDirectory(entries);
    plain.bytes.resize(dataAt);
    plain.append(pixels);
    plain.save(dir.File("plain.tif"));
    OpenedStack p(dir.File("plain.tif"));
    ASSERT_NE(p.h.reader, nullptr) << p.log();
    EXPECT_EQ(TiffStackReader_GetMetadataSizeBytes(&p.h), 0u);
    EXPECT_EQ(TiffStackReader_GetMetadata(&p.h, nullptr, 0), 1);
}

TEST(StackDirectories, ATagListedTwiceKeepsItsLastEntry) {
    TempDir dir;
    RawTiff raw(false, false);
    auto entries = basicEntries(2, 2, 16, 0, 0);
    const uint64_t at = raw.append(std::vector<uint8_t>(8, 1));
    entries[3].values = {at};
    entries[4].values = {8};
    entries.push_back({256, LONG, {77}});
    raw.addDirectory(entries);
    raw.save(dir.File("twice.tif"));
    OpenedStack s(dir.File("twice.tif"));
    ASSERT_NE(s.h.reader, nullptr) << s.log();
    EXPECT_EQ(TiffStackReader_GetShape(&s.h).dims[0], 77u);
}

}  // namespace
