#pragma once
// Reading a device's identity from a Bootloader: shared by Search and by Connect with a serial
// number, which ask the ports side by side (tessel/serial/port_probe.h).
#include <korvan/device/device_info.h>

#include <cstddef>

class Bootloader;

namespace korvan::detail {

/// The device type every Korvan device reports; discovery skips others.
inline constexpr int kKorvanDeviceType = 3;
/// Reply time-out of the bootloader requests during discovery and connection.
inline constexpr int kBootloaderTimeoutMs = 500;

/// Fills `*info` from `boot` with `portName` as port name. False (and `*info` untouched) when
/// the bootloader has no identity, the device is of another type, or a field cannot be read.
bool FillDeviceInfo(Bootloader& boot, const char* portName, DeviceInfo* info);

/// Copies `text` into a field of `size` bytes, cutting it and always terminating it.
void CopyField(char* field, std::size_t size, const char* text);

}  // namespace korvan::detail
