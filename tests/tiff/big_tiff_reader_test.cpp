// BigTiffReader: loading, the shift of negative samples, range, images and z data.
#include "raw_tiff.h"
#include "tiff_fixtures.h"

#include <tessel/tiff/big_tiff_reader.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace tiff_test;

namespace {

// A 16-bit signed stack whose samples run from `low` to `high`, with optional trailing metadata.
std::vector<int16_t> writeSigned(const std::string& path, bool bigEndian, int low, int high,
                                 const std::string& metadata = "", uint32_t pages = 4) {
    StackLayout layout;
    layout.bigEndian = bigEndian;
    layout.format = 2;
    layout.pages = pages;
    layout.rowsPerStrip = 4;
    std::vector<int16_t> values(size_t{layout.width} * layout.height * layout.pages);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<int16_t>(low + static_cast<int>(i * 37 % (high - low + 1)));
    values[5] = static_cast<int16_t>(low);
    values[values.size() - 3] = static_cast<int16_t>(high);
    std::vector<uint8_t> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    writeStack(path, layout, bytes);
    if (!metadata.empty()) {
        std::vector<uint8_t> file = readFile(path);
        file.insert(file.end(), metadata.begin(), metadata.end());
        const uint32_t n = static_cast<uint32_t>(metadata.size());
        file.insert(file.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
        writeFile(path, file);
    }
    return values;
}

TEST(BigTiffReader, MissingFileReportsNoData) {
    TempDir dir;
    BigTiffReader r(dir.File("absent.tif").c_str());
    EXPECT_FALSE(r.IsImageDataOK());
    EXPECT_FALSE(r.IsMetadataOK());
    EXPECT_EQ(r.GetImage(0), nullptr);
    uint16_t lo = 11, hi = 22;
    EXPECT_FALSE(r.GetMinMax(lo, hi));
    EXPECT_EQ(lo, 11);
    EXPECT_EQ(hi, 22);
    uint64_t size = 0;
    EXPECT_FALSE(r.GetSingleImageSize(size));
}

TEST(BigTiffReader, NegativeSamplesAreShiftedToZero) {
    for (bool bigEndian : {false, true}) {
        TempDir dir;
        const std::string path = dir.File("s.tif");
        const std::vector<int16_t> values = writeSigned(path, bigEndian, -100, 200);
        BigTiffReader r(path.c_str());
        ASSERT_TRUE(r.IsImageDataOK());
        uint16_t lo = 1, hi = 1;
        ASSERT_TRUE(r.GetMinMax(lo, hi));
        EXPECT_EQ(lo, 0);
        EXPECT_EQ(hi, 300);

        uint64_t size = 0, width = 0, height = 0, count = 0;
        double start = -1, step = -1;
        EXPECT_TRUE(r.GetSingleImageSize(size));
        EXPECT_EQ(size, 24u * 10 * 2);
        EXPECT_TRUE(r.GetImageDimensions(width, height));
        EXPECT_EQ(width, 24u);
        EXPECT_EQ(height, 10u);
        EXPECT_TRUE(r.GetZData(count, start, step));
        EXPECT_EQ(count, 4u);

        const size_t perImage = size / 2;
        for (uint64_t image = 0; image < count; ++image) {
            auto copy = r.GetImage(image);
            ASSERT_NE(copy, nullptr);
            ASSERT_EQ(copy->size(), size);
            for (size_t k = 0; k < perImage; ++k) {
                uint16_t v;
                std::memcpy(&v, copy->data() + 2 * k, 2);
                ASSERT_EQ(v, values[image * perImage + k] + 100) << image << " " << k;
            }
        }
        EXPECT_EQ(r.GetImage(count), nullptr);
    }
}

TEST(BigTiffReader, NonNegativeSamplesStayAndReportTheirRange) {
    TempDir dir;
    const std::string path = dir.File("s.tif");
    const std::vector<int16_t> values = writeSigned(path, false, 7, 30000);
    BigTiffReader r(path.c_str());
    uint16_t lo = 0, hi = 0;
    ASSERT_TRUE(r.GetMinMax(lo, hi));
    EXPECT_EQ(lo, 7);
    EXPECT_EQ(hi, 30000);
    auto first = r.GetImage(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::memcmp(first->data(), values.data(), first->size()), 0);
}

TEST(BigTiffReader, FullRangeShiftsIntoUnsigned) {
    TempDir dir;
    writeSigned(dir.File("s.tif"), true, -32768, 32767);
    BigTiffReader r(dir.File("s.tif").c_str());
    uint16_t lo = 1, hi = 1;
    ASSERT_TRUE(r.GetMinMax(lo, hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 65535);
}

// The shape leaves out dimensions equal to 1; the image count and size must not depend on it.
TEST(BigTiffReader, ImagesAreCountedAndSizedWhateverDimensionsEqualOne) {
    struct Case {
        uint32_t width, height, pages;
        uint16_t samples;
    };
    const Case cases[] = {
        {3, 1, 4, 1}, {1, 3, 4, 1}, {1, 1, 5, 1}, {5, 4, 2, 3},   {2, 3, 4, 2},
        {1, 2, 3, 3}, {7, 1, 1, 2}, {1, 1, 1, 1}, {24, 10, 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << " x " << c.height << " x " << c.samples << ", " << c.pages << " images");
        StackLayout layout;
        layout.width = c.width;
        layout.height = c.height;
        layout.pages = c.pages;
        layout.samplesPerPixel = c.samples;
        // Non-negative as signed 16-bit values, so no shift changes them.
        std::vector<uint8_t> bytes(size_t{c.width} * c.height * c.samples * c.pages * 2);
        for (size_t i = 0; i < bytes.size(); i += 2) {
            bytes[i] = static_cast<uint8_t>(i * 7);
            bytes[i + 1] = static_cast<uint8_t>(i / 2 % 100);
        }
        TempDir dir;
        const std::string path = dir.File("s.tif");
        writeStack(path, layout, bytes);
        const std::vector<uint8_t> decoded = readWithLibtiff(path);
        ASSERT_EQ(decoded.size(), bytes.size());

        BigTiffReader r(path.c_str());
        ASSERT_TRUE(r.IsImageDataOK());
        uint64_t count = 0, size = 0, width = 0, height = 0;
        double start = 0, step = 0;
        EXPECT_TRUE(r.GetZData(count, start, step));
        EXPECT_EQ(count, c.pages);
        EXPECT_TRUE(r.GetSingleImageSize(size));
        EXPECT_EQ(size, uint64_t{c.width} * c.height * c.samples * 2);
        EXPECT_TRUE(r.GetImageDimensions(width, height));
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        for (uint64_t image = 0; image < c.pages; ++image) {
            auto copy = r.GetImage(image);
            ASSERT_NE(copy, nullptr) << image;
            const auto first = decoded.begin() + static_cast<ptrdiff_t>(image * size);
            EXPECT_TRUE(std::equal(copy->begin(), copy->end(), first, first + static_cast<ptrdiff_t>(size))) << image;
        }
        EXPECT_EQ(r.GetImage(c.pages), nullptr);
    }
}

TEST(BigTiffReader, ZDataFromTheMetadata) {
    struct Case {
        std::string metadata;
        bool ok;
        double start, step;
    };
    const Case cases[] = {
        {"a = 1\nhStackManager.zs = [0 2 4 6]\nb = 2\n", true, 0, 2},
        {"hStackManager.zs = [3 3 4.5 9]", true, 3, 1.5},
        {"x\r\nhStackManager.zs = 5\r\n", true, 5, 0},
        {"hStackManager.zs = [7 7]\n", true, 7, 0},
        {"hStackManager.zs = [1 x 3]\n", false, 0, 1},
        {"hStackManager.zs = nan\n", false, 0, 1},
        {"hStackManager.zs = []\n", false, 0, 1},
        {"hStackManager.other = 3\n", false, 0, 1},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeSigned(dir.File("z.tif"), false, 0, 10, c.metadata, 3);
        BigTiffReader r(dir.File("z.tif").c_str());
        ASSERT_TRUE(r.IsImageDataOK()) << c.metadata;
        EXPECT_EQ(r.IsMetadataOK(), c.ok) << c.metadata;
        uint64_t count = 0;
        double start = -1, step = -1;
        EXPECT_TRUE(r.GetZData(count, start, step));
        EXPECT_EQ(count, 3u);
        EXPECT_DOUBLE_EQ(start, c.start) << c.metadata;
        EXPECT_DOUBLE_EQ(step, c.step) << c.metadata;
    }
}

TEST(BigTiffReader, FileWithoutMetadataUsesDefaults) {
    TempDir dir;
    RawTiff raw(false, false);
    const uint64_t dataAt = 400;
    raw.addDirectory(basicEntries(2, 2, 16, dataAt, 8));
    raw.bytes.resize(dataAt);
    raw.append(std::vector<uint8_t>{1, 0, 2, 0, 3, 0, 4, 0});
    raw.save(dir.File("plain.tif"));
    BigTiffReader r(dir.File("plain.tif").c_str());
    ASSERT_TRUE(r.IsImageDataOK());
    EXPECT_FALSE(r.IsMetadataOK());
    uint64_t count = 0;
    double start = -1, step = -1;
    r.GetZData(count, start, step);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(start, 0.0);
    EXPECT_EQ(step, 1.0);
    uint16_t lo = 0, hi = 0;
    r.GetMinMax(lo, hi);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 4);
}

TEST(BigTiffReader, UnreadableDataReportsNoData) {
    TempDir dir;
    RawTiff raw(false, false);
    raw.addDirectory(basicEntries(2, 2, 16, 0, 0));  // opens, but holds no pixel data
    raw.save(dir.File("empty.tif"));
    BigTiffReader r(dir.File("empty.tif").c_str());
    EXPECT_FALSE(r.IsImageDataOK());
    EXPECT_EQ(r.GetImage(0), nullptr);
}

// Strips that hold fewer or more bytes than the images announce cannot be cut into whole
// images: such a stack must not load as data that then hands out no image.
TEST(BigTiffReader, StripsThatDoNotMatchTheImagesReportNoData) {
    TempDir dir;
    for (const size_t bytes : {size_t{6}, size_t{10}}) {  // a 2 x 2 16-bit image takes 8
        RawTiff raw(false, false);
        raw.addImage(2, 2, 16, std::vector<uint8_t>(bytes, 1));
        const std::string path = dir.File("odd" + std::to_string(bytes) + ".tif");
        raw.save(path);
        BigTiffReader r(path.c_str());
        EXPECT_FALSE(r.IsImageDataOK()) << bytes;
        EXPECT_EQ(r.GetImage(0), nullptr) << bytes;
    }
}

}  // namespace
