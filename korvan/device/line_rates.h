#pragma once
// The baud rates a device of this family talks at.
//
// A device starts at kDefaultBaudRate. Connect raises it to the device's maximum rate, and only
// Disconnect brings it back; a program that ends without Disconnect (the destructor sends
// nothing) or loses its connection leaves the device at the raised rate, where it hears nothing
// sent at 9600. Discovery and Connect therefore also try kFastBaudRates on a port that is silent
// at 9600, so such a device is found again.
#include <korvan/export.h>

#include <optional>

class Bootloader;

namespace korvan {

/// The rate every device starts at and returns to.
inline constexpr int kDefaultBaudRate = 9600;
/// The maximum rates devices of this family report, the most common first.
inline constexpr int kFastBaudRates[] = {921600, 460800, 230400, 115200};
/// Reply time-out of a bootloader request at one of the fast rates: a device answers within a
/// few milliseconds, so a silent port costs little more than its try at 9600.
inline constexpr int kFastRateProbeTimeoutMs = 150;

/// Reads the identity of the device at port `portName` into `bootloader` (built here, with reply
/// time-out `timeoutMs`): at 9600 baud first, then, while the port stays silent, at `lastRate`
/// (when it is a fast rate, say of an earlier connection) and at kFastBaudRates. Returns the rate
/// the device answered at, 0 when none did; `bootloader` then holds the last try, without an
/// identity. Each silent rate costs kFastRateProbeTimeoutMs.
KORVAN_API int IdentifyAtAnyRate(std::optional<Bootloader>& bootloader, const char* portName, int timeoutMs,
                                 int lastRate = 0);

}  // namespace korvan
