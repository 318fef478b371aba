#pragma once
// The narrow interface between the portable serial code and the operating system.
// One implementation per platform (serial_posix.cpp and port_enumeration_posix.cpp,
// serial_win32.cpp and port_enumeration_win32.cpp).
#include <tessel/export.h>
#include <tessel/serial/serial_types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tessel::detail {

/// Opens `name` exclusively and discards pending input. POSIX: relative to /dev unless it starts
/// with '/'. Windows: "COMn" (opened as \\.\COMn) or a full "\\.\" device path.
/// kInvalidPortHandle on failure.
PortHandle OpenSerial(const char* name);
void CloseSerial(PortHandle handle);

/// Reads the line state into `dcb` (fields the platform has; the rest keep their value).
bool GetSerialState(PortHandle handle, DCB& dcb);
/// Applies `dcb`: raw mode, baud rate (any rate the driver accepts), size, parity, stop bits,
/// XON/XOFF; modem-line control that the driver refuses (pseudo-terminals) is tolerated.
bool SetSerialState(PortHandle handle, const DCB& dcb);

/// Reads up to `count` bytes, waiting at most `byteWaitMs` for each of them (from the call,
/// then from the previous byte), as a series of one-byte reads with that time-out would; bytes
/// that are already there come in one system call. A wait of 0 takes only what has arrived.
/// Returns the number read (fewer on a time-out or when the other end has gone), -1 on an error
/// before any byte.
int ReadSerial(PortHandle handle, unsigned char* buffer, int count, int byteWaitMs);
/// Writes all `count` bytes; false on error or time-out. The write time-out of `timeouts`
/// (multiplier x n + constant) applies to each run of `piece` bytes as if it were written by a
/// call of its own, so handing several pieces over at once never stretches the wait for a stuck
/// line. A time-out of 0 would wait for ever; such a piece gets the 1000 + 1000 x n ms a port
/// starts with.
bool WriteSerial(PortHandle handle, const unsigned char* data, int count, unsigned int* written, int piece,
                 const COMMTIMEOUTS& timeouts);

/// Asks the driver to hand received bytes over at once instead of batching them (USB serial
/// adapters otherwise wait up to their latency timer, often 16 ms). True when the driver took the
/// request; false, and nothing changed, where it has no such setting (pseudo-terminals, most
/// built-in UARTs).
bool RequestLowLatency(PortHandle handle);

/// A signal another thread raises to end a WaitPort early (a pipe on POSIX, a manual-reset
/// event on Windows).
struct WakeSignal {
#if defined(_WIN32)
    void* event = nullptr;
#else
    int readEnd = -1;
    int writeEnd = -1;
#endif
};
bool OpenWake(WakeSignal& wake);
void CloseWake(WakeSignal& wake);
/// Raises the signal; it stays raised until ClearWake. Safe from any thread.
void RaiseWake(const WakeSignal& wake);
void ClearWake(const WakeSignal& wake);

enum class PortEvent { Readable, Woken, Timeout, LineGone };
/// Waits until the port has input, the signal is raised, or `timeoutMs` passes (-1: no limit).
/// Input wins over the signal. LineGone: the other end hung up or the handle failed.
PortEvent WaitPort(PortHandle handle, const WakeSignal& wake, int timeoutMs);

/// What the machine offers to the enumeration passes.
struct PortCandidates {
    std::vector<std::string> friendlyNames;  ///< hardware pass: "Product text (ttyUSB0)" or "... (COM3)"
    std::vector<std::string> fallbackNames;  ///< fallback: ttyS*, ttyUSB*, ttyACM* or COMn, in order
    std::vector<std::string> consoles;       ///< port names of the active system console
};
TESSEL_API PortCandidates ScanSerialPorts();

}  // namespace tessel::detail
