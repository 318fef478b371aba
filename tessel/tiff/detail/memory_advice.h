#pragma once
// Hints to the operating system about large buffers.
#include <cstddef>

namespace tessel::detail {

// Asks for large pages behind a buffer that has not been touched yet: the
// first touch of a gigabyte in small pages costs far more than filling it.
// Only a hint; nothing happens where the system does not offer it.
void adviseLargeBuffer(void* data, size_t bytes);

}  // namespace tessel::detail
