#pragma once
// Reading a device's identity from a Bootloader, and walking the serial ports: shared by
// Search and by Connect with a serial number.
#include <korvan/device/device_info.h>
#include <tessel/serial/rs232.h>

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

/// Calls `visit(name)` for every serial port the system lists, in enumeration order, until a
/// visit returns true; releases the list. Returns whether a visit returned true.
template <typename Visit>
bool ForEachPortName(RS232& enumerator, Visit visit) {
    char** names = nullptr;
    int count = 0;
    enumerator.GetSpecificCOMPorts(&names, &count);
    bool done = false;
    for (int i = 0; i < count; ++i) {
        if (!done) done = visit(static_cast<const char*>(names[i]));
        enumerator.FreeRS232Memory(names[i]);
    }
    if (names != nullptr) enumerator.FreeRS232Memory(names);
    return done;
}

}  // namespace korvan::detail
