#pragma once
// Whether the virtual device's line carries a rate: a pseudo-terminal does, and the device reads
// the host's setting back through it; the Windows line, a named pipe, has none, so the device
// reads 0 there and never finds a host at the wrong rate.
namespace testsupport {

#if defined(_WIN32)
constexpr bool kLineHasRate = false;
#else
constexpr bool kLineHasRate = true;
#endif

/// What the device reads as the host's rate when the host has set `rate`.
constexpr int SeenHostRate(int rate) { return kLineHasRate ? rate : 0; }

}  // namespace testsupport
