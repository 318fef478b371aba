#pragma once
// Writes TIFF and BigTIFF files byte by byte, so tests can build files that no
// library would write: odd headers, broken directories, hostile offsets.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tiff_test {

enum FieldType : uint16_t { BYTE = 1, ASCII = 2, SHORT = 3, LONG = 4, LONG8 = 16 };

struct RawEntry {
    uint16_t tag;
    uint16_t type;
    std::vector<uint64_t> values;         // encoded with the type's size and the file's byte order
    std::optional<uint64_t> count;        // overrides values.size()
    std::optional<uint64_t> valueOffset;  // out-of-line location instead of writing the values
};

class RawTiff {
public:
    RawTiff(bool bigTiff, bool bigEndian);

    std::vector<uint8_t> bytes;

    // Appends raw bytes and returns where they start.
    uint64_t append(const std::vector<uint8_t>& data);
    uint64_t append(const std::string& text) { return append(std::vector<uint8_t>(text.begin(), text.end())); }
    // Appends the directory (out-of-line values first) and links it from the
    // header or the previous directory; returns its offset.
    uint64_t addDirectory(const std::vector<RawEntry>& entries);
    // Appends strip data of one image and a directory describing it.
    uint64_t addImage(uint32_t width, uint32_t height, uint16_t bits, const std::vector<uint8_t>& data,
                      std::vector<RawEntry> extra = {});
    // Points the last directory's link at `target`.
    void linkLastTo(uint64_t target);
    // Writes an unsigned value of `size` bytes at `at`, in the file's byte order.
    void put(uint64_t at, uint64_t value, unsigned size);
    void save(const std::string& path) const;

    bool bigTiff() const { return big_; }

private:
    bool big_, bigEndian_;
    uint64_t link_;  // where the pending next-directory offset goes
};

// Entries every readable image needs, for a single strip at `offset`.
std::vector<RawEntry> basicEntries(uint32_t width, uint32_t height, uint16_t bits, uint64_t offset, uint64_t bytes);

}  // namespace tiff_test
