#pragma once
// Test stacks written and decoded by libtiff, and a scratch folder for them.
#include <tessel/tiff/tiff_stack_reader.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tiff_test {

using testsupport::TempDir;

struct StackLayout {
    bool bigTiff = false;
    bool bigEndian = false;
    uint16_t bits = 16;
    uint16_t format = 1;  // SampleFormat: 1 unsigned, 2 signed, 3 floating point
    uint32_t width = 24;
    uint32_t height = 10;
    uint32_t pages = 3;
    uint32_t rowsPerStrip = 0;  // 0: one strip per image
    uint16_t samplesPerPixel = 1;
    uint16_t compression = 1;               // libtiff's COMPRESSION_* code
    bool separatePlanes = false;            // one plane per sample instead of interleaved samples
    std::vector<std::string> descriptions;  // per page; "" writes no ImageDescription
};

// Writes the stack with libtiff from `samples` (host order, all pages back to back).
void writeStack(const std::string& path, const StackLayout& layout, const std::vector<uint8_t>& samples);
// Pseudo-random sample bytes for a stack of this layout (finite values for floats).
std::vector<uint8_t> makeSamples(const StackLayout& layout, uint32_t seed = 1);
// Every strip of every directory as libtiff decodes it, back to back.
std::vector<uint8_t> readWithLibtiff(const std::string& path);

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// An opened handle that is closed when the test ends.
struct OpenedStack {
    explicit OpenedStack(const std::string& path) : h(TiffStackReader_Open(path.c_str())) {}
    ~OpenedStack() { TiffStackReader_Close(&h); }
    OpenedStack(const OpenedStack&) = delete;
    OpenedStack& operator=(const OpenedStack&) = delete;
    std::string log() const { return h.log ? h.log : ""; }
    // All pixel data, or an empty vector when reading fails.
    std::vector<uint8_t> data() {
        std::vector<uint8_t> out(TiffStackReader_GetDataSizeBytes(&h));
        if (!TiffStackReader_GetData(&h, out.data(), out.size())) out.clear();
        return out;
    }
    TiffStackReader h;
};

}  // namespace tiff_test
