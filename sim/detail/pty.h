#pragma once
// The few operating-system calls the virtual device needs, behind a narrow interface.
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim::detail {

struct Pty {
    int master = -1;
    int slaveKeeper = -1;  // keeps the line up while no host has the port open
    std::string portName;  // "pts/N": the form RS232::Connect takes
};

// Opens a pseudo-terminal, raw at 9600 baud. False (with `error`) when the system refuses.
bool OpenPty(Pty* pty, std::string* error);
// Closes both ends; the host then sees the line go away.
void ClosePty(Pty* pty);

enum class WaitResult { Readable, Timeout, Failed };
WaitResult WaitReadable(int fd, int timeoutMs);
// Reads what is there without blocking: the count, 0 for nothing, -1 when the line failed.
long ReadAvailable(int fd, uint8_t* buffer, size_t capacity);
// Writes all bytes, waiting up to `timeoutMs` for room; false when they could not all go out.
bool WriteAll(int fd, const uint8_t* data, size_t size, int timeoutMs);

// The baud rate the host has configured on the slave side, read through the master; 0 if unknown.
int HostBaudRate(int masterFd);

}  // namespace sim::detail
