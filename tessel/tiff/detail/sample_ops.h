#pragma once
// Loops over raw sample bytes, kept apart so they can be compiled for speed.
#include <cstddef>
#include <cstdint>

namespace tessel::detail {

// Reverses the bytes of every whole sample of `bits` (16, 32 or 64) bits in
// [data, data + bytes); a trailing partial sample is left as it is.
void reverseSampleBytes(unsigned char* data, size_t bytes, unsigned bits);

// Smallest and largest signed 16-bit little-endian sample among the whole
// samples of [data, data + bytes); 32767 and -32768 when there are none.
void int16Range(const unsigned char* data, size_t bytes, int16_t& minimum, int16_t& maximum);

// Adds `offset` to every whole signed 16-bit little-endian sample, in 16-bit arithmetic.
void addToInt16(unsigned char* data, size_t bytes, uint16_t offset);

}  // namespace tessel::detail
