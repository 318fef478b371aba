#pragma once
#include <tessel/export.h>

#include <cstdint>

// Port state records kept by RS232. On Windows they are the system's own (from <windows.h>, so
// an application may include it before or after this header); elsewhere this header defines
// them with the same fields, and the serial layer maps them onto termios.
#if defined(_WIN32)
#include <windows.h>
#endif

/// Native handle of an open port; `kInvalidPortHandle` (all bits set) when closed.
using PortHandle = std::intptr_t;
constexpr PortHandle kInvalidPortHandle = -1;

/// 32-bit platform boolean.
using PlatformBool = std::int32_t;

#if !defined(_WIN32)

constexpr unsigned char NOPARITY = 0;
constexpr unsigned char ODDPARITY = 1;
constexpr unsigned char EVENPARITY = 2;
constexpr unsigned char ONESTOPBIT = 0;
constexpr unsigned char TWOSTOPBITS = 2;
constexpr std::uint32_t DTR_CONTROL_DISABLE = 0;
constexpr std::uint32_t RTS_CONTROL_DISABLE = 0;

/// Line configuration of a port.
struct DCB {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t fBinary = 0;
    std::uint32_t fParity = 0;
    std::uint32_t fOutxCtsFlow = 0;
    std::uint32_t fOutxDsrFlow = 0;
    std::uint32_t fDtrControl = 0;
    std::uint32_t fDsrSensitivity = 0;
    std::uint32_t fTXContinueOnXoff = 0;
    std::uint32_t fOutX = 0;
    std::uint32_t fInX = 0;
    std::uint32_t fErrorChar = 0;
    std::uint32_t fNull = 0;
    std::uint32_t fRtsControl = 0;
    std::uint32_t fAbortOnError = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
};

/// Time-outs of a port, in milliseconds. A read of n bytes waits at most
/// ReadTotalTimeoutMultiplier x n + ReadTotalTimeoutConstant.
struct COMMTIMEOUTS {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};
#endif  // !_WIN32
