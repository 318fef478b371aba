#pragma once
// The few operating-system calls the virtual device needs, behind a narrow interface. POSIX: a
// pseudo-terminal (pty_posix.cpp). Windows: a named pipe (pipe_win32.cpp), which a host opens by
// its full path as it would open a COM port.
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim::detail {

struct Pty {
#if defined(_WIN32)
    struct Pipe* pipe = nullptr;  // the listening or connected pipe instance and its transfers
#else
    int master = -1;
    int slaveKeeper = -1;  // keeps the line up while no host has the port open
#endif
    std::string portName;  // the form RS232::Connect takes: "pts/N", or "\\.\pipe\..." on Windows
};

// Opens the line: a pseudo-terminal raw at 9600 baud, or a pipe instance waiting for a host.
// False (with `error`) when the system refuses.
bool OpenPty(Pty* pty, std::string* error);
// Closes the device's end; the host then sees the line go away.
void ClosePty(Pty* pty);
bool PtyOpen(const Pty& pty);

enum class WaitResult { Readable, Timeout, Failed };
// A host that closes its end is not a failure: the line waits for the next one, as a
// pseudo-terminal whose slave side is kept open does.
WaitResult WaitReadable(Pty& pty, int timeoutMs);
// Reads what is there without blocking: the count, 0 for nothing, -1 when the line failed.
long ReadAvailable(Pty& pty, uint8_t* buffer, size_t capacity);
// Writes all bytes, waiting up to `timeoutMs` for room; false when they could not all go out
// (also when no host has the line open).
bool WriteAll(Pty& pty, const uint8_t* data, size_t size, int timeoutMs);

// The baud rate the host has configured on its side; 0 if unknown (always on a pipe, which
// has no rate).
int HostBaudRate(const Pty& pty);

}  // namespace sim::detail
