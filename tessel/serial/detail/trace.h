#pragma once
// Opt-in byte trace (TESSEL_TRACE); one flag test when off.
#include <cstddef>

namespace tessel::detail {

bool TraceEnabled();
void TraceBytes(const char* direction, const char* port, const unsigned char* data, std::size_t n);

}  // namespace tessel::detail
