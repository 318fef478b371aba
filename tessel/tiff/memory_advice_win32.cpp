#include <tessel/tiff/detail/memory_advice.h>

namespace tessel::detail {

// Windows gives large pages only to processes holding a privilege; ordinary pages it is.
void adviseLargeBuffer(void*, size_t) {}

}  // namespace tessel::detail
