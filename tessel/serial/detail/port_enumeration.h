#pragma once
// Test seam of port enumeration: lets a test state what the machine would offer, so that
// enumeration logic is tested without touching any real port.
#include <tessel/export.h>
#include <tessel/serial/detail/serial_platform.h>

#include <functional>

namespace tessel::detail {

using PortScanner = std::function<PortCandidates()>;

/// Replaces the machine scan (an empty function restores it). Process-wide; tests restore it.
TESSEL_API void SetPortScannerForTesting(PortScanner scanner);

/// The enumeration result as a list of port names, in order.
TESSEL_API std::vector<std::string> EnumeratePorts(const char* filter);

}  // namespace tessel::detail
