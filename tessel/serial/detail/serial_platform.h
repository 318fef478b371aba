#pragma once
// The narrow interface between the portable serial code and the operating system.
// One implementation per platform (serial_posix.cpp, port_enumeration_posix.cpp).
#include <tessel/export.h>
#include <tessel/serial/serial_types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tessel::detail {

/// Opens `name` (relative to /dev unless it starts with '/') exclusively and discards
/// pending input. kInvalidPortHandle on failure.
PortHandle OpenSerial(const char* name);
void CloseSerial(PortHandle handle);

/// Reads the line state into `dcb` (fields the platform has; the rest keep their value).
bool GetSerialState(PortHandle handle, DCB& dcb);
/// Applies `dcb`: raw mode, baud rate (any rate the driver accepts), size, parity, stop bits,
/// XON/XOFF; modem-line control that the driver refuses (pseudo-terminals) is tolerated.
bool SetSerialState(PortHandle handle, const DCB& dcb);

bool GetSerialTimeouts(PortHandle handle, COMMTIMEOUTS& timeouts);
bool SetSerialTimeouts(PortHandle handle, const COMMTIMEOUTS& timeouts);

/// Reads up to `count` bytes within the read time-out set for the handle
/// (multiplier x count + constant). Returns the number read, or -1 on an error.
int ReadSerial(PortHandle handle, unsigned char* buffer, int count);
/// Writes all `count` bytes; false on error or time-out. The write time-out
/// (multiplier x n + constant) applies to each run of `piece` bytes as if it were written by a
/// call of its own, so handing several pieces over at once never stretches the wait for a stuck
/// line. A time-out of 0 would wait for ever; such a piece gets the 1000 + 1000 x n ms a port
/// starts with.
bool WriteSerial(PortHandle handle, const unsigned char* data, int count, unsigned int* written,
                 int piece);

/// What the machine offers to the enumeration passes.
struct PortCandidates {
    std::vector<std::string> friendlyNames;  ///< hardware pass: "Product text (ttyUSB0)"
    std::vector<std::string> fallbackNames;  ///< fallback pass: ttyS*, ttyUSB*, ttyACM* in order
    std::vector<std::string> consoles;       ///< port names of the active system console
};
TESSEL_API PortCandidates ScanSerialPorts();

}  // namespace tessel::detail
