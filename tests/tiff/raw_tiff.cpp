#include "raw_tiff.h"

#include "tiff_fixtures.h"

#include <algorithm>
#include <stdexcept>

namespace tiff_test {
namespace {

unsigned sizeOf(uint16_t type) {
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
    default: return 8;
    }
}

}  // namespace

RawTiff::RawTiff(bool bigTiff, bool bigEndian) : big_(bigTiff), bigEndian_(bigEndian) {
    bytes = {uint8_t(bigEndian ? 'M' : 'I'), uint8_t(bigEndian ? 'M' : 'I')};
    bytes.resize(big_ ? 16 : 8, 0);
    put(2, big_ ? 43 : 42, 2);
    if (big_) put(4, 8, 2);
    link_ = big_ ? 8 : 4;
}

void RawTiff::put(uint64_t at, uint64_t value, unsigned size) {
    if (bytes.size() < at + size) bytes.resize(at + size, 0);
    for (unsigned i = 0; i < size; ++i) {
        const unsigned shift = 8 * (bigEndian_ ? size - 1 - i : i);
        bytes[at + i] = static_cast<uint8_t>(value >> shift);
    }
}

uint64_t RawTiff::append(const std::vector<uint8_t>& data) {
    const uint64_t at = bytes.size();
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (bytes.size() % 2) bytes.push_back(0);  // keep word alignment like real writers
    return at;
}

uint64_t RawTiff::addDirectory(const std::vector<RawEntry>& input) {
    const unsigned field = big_ ? 8 : 4;
    std::vector<RawEntry> entries = input;
    std::stable_sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
    std::vector<uint64_t> locations(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        const RawEntry& e = entries[i];
        const uint64_t size = e.values.size() * sizeOf(e.type);
        if (e.valueOffset)
            locations[i] = *e.valueOffset;
        else if (size > field) {
            locations[i] = bytes.size();
            for (uint64_t v : e.values) put(bytes.size(), v, sizeOf(e.type));
            if (bytes.size() % 2) bytes.push_back(0);
        }
    }
    const uint64_t dir = bytes.size();
    put(link_, dir, field);
    const unsigned countBytes = big_ ? 8 : 2, entryBytes = big_ ? 20 : 12;
    put(dir, entries.size(), countBytes);
    for (size_t i = 0; i < entries.size(); ++i) {
        const RawEntry& e = entries[i];
        const uint64_t at = dir + countBytes + i * entryBytes;
        put(at, e.tag, 2);
        put(at + 2, e.type, 2);
        put(at + 4, e.count.value_or(e.values.size()), field);
        const uint64_t value = at + 4 + field;
        const uint64_t size = e.values.size() * sizeOf(e.type);
        if (e.valueOffset || size > field) {
            put(value, locations[i], field);
        } else {
            put(value, 0, field);
            for (size_t k = 0; k < e.values.size(); ++k) put(value + k * sizeOf(e.type), e.values[k], sizeOf(e.type));
        }
    }
    link_ = dir + countBytes + entries.size() * entryBytes;
    put(link_, 0, field);
    return dir;
}

uint64_t RawTiff::addImage(uint32_t width, uint32_t height, uint16_t bits, const std::vector<uint8_t>& data,
                           std::vector<RawEntry> extra) {
    const uint64_t at = append(data);
    std::vector<RawEntry> entries = basicEntries(width, height, bits, at, data.size());
    entries.insert(entries.end(), extra.begin(), extra.end());
    return addDirectory(entries);
}

void RawTiff::linkLastTo(uint64_t target) { put(link_, target, big_ ? 8 : 4); }

void RawTiff::save(const std::string& path) const { writeFile(path, bytes); }

std::vector<RawEntry> basicEntries(uint32_t width, uint32_t height, uint16_t bits, uint64_t offset, uint64_t bytes) {
    return {
        {256, LONG, {width}}, {257, LONG, {height}}, {258, SHORT, {bits}}, {273, LONG, {offset}}, {279, LONG, {bytes}}};
}

}  // namespace tiff_test
