// Windows serial ports: exclusive CreateFileA on \\.\COMn, 8N1 with optional XON/XOFF through the
// line state record, per-read time-outs through SetCommTimeouts. The handle is opened overlapped
// so that the asynchronous port's worker can wait on a read and its wake-up event together;
// the synchronous calls start an overlapped transfer and wait for it at once, bounded by the
// same wait the time-out record states, so a driver that ignores the record cannot hold a read.
// A named pipe (\\.\pipe\..., the virtual device) opens the same way; it has no line state
// and no time-out record, so those steps are skipped and the bounded wait alone ends its reads.
#include <tessel/serial/detail/comm_timeouts.h>
#include <tessel/serial/detail/serial_platform.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace tessel::detail {
namespace {

// How long a cancelled read may take to end before the port gives up on it.
constexpr DWORD kCancelWaitMs = 1000;
// How long an open waits for a pipe whose previous host has just left to listen again.
constexpr int kPipeBusyWaitMs = 2000;

struct Win32Port {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE ioEvent = nullptr;  // manual-reset; signals the one transfer in flight
    COMMTIMEOUTS applied{};    // the record the driver holds, to skip needless calls
    bool appliedValid = false;
    // WaitPort reads the first byte of a burst itself; the next read hands it out first.
    unsigned char early = 0;
    bool haveEarly = false;
    // WaitPort's read lives here, not on its stack: a driver that does not end a cancelled read
    // at once may still complete it later.
    OVERLAPPED waitRead{};
    bool readStuck = false;
    bool pipe = false;
    DCB pipeState{};  // a pipe keeps the line state it is given, so reading it back agrees
};

Win32Port* PortOf(PortHandle handle) {
    return handle == kInvalidPortHandle ? nullptr : reinterpret_cast<Win32Port*>(handle);
}

std::string DevicePath(const char* name) {
    // COM10 and up exist only under the device namespace; the short form works for all.
    return std::strncmp(name, "\\\\", 2) == 0 ? std::string(name) : "\\\\.\\" + std::string(name);
}

// "pipe\\name" (the virtual device's short form) or a full "\\.\pipe\\name".
bool IsPipePath(const std::string& path) { return _strnicmp(path.c_str(), "\\\\.\\pipe\\", 9) == 0; }

bool ApplyTimeouts(Win32Port& port, const COMMTIMEOUTS& wanted) {
    if (port.pipe) return true;  // a pipe has no record; the bounded waits end its transfers
    if (port.appliedValid && std::memcmp(&port.applied, &wanted, sizeof wanted) == 0) return true;
    COMMTIMEOUTS copy = wanted;
    if (!SetCommTimeouts(port.file, &copy)) {
        port.appliedValid = false;
        return false;
    }
    port.applied = wanted;
    port.appliedValid = true;
    return true;
}

// One overlapped read or write, waited for at once but at most `waitMs` (negative: no limit);
// then it is cancelled, and what it moved before that still counts. The time-out record
// normally ends it first.
bool Transfer(Win32Port& port, bool write, void* buffer, DWORD count, long long waitMs, DWORD* done) {
    *done = 0;
    OVERLAPPED ov{};
    ov.hEvent = port.ioEvent;
    ResetEvent(port.ioEvent);
    BOOL started =
        write ? WriteFile(port.file, buffer, count, nullptr, &ov) : ReadFile(port.file, buffer, count, nullptr, &ov);
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        // With fAbortOnError a line error stops all transfers until it is read out.
        DWORD errors = 0;
        if (!port.pipe) ClearCommError(port.file, &errors, nullptr);
        return false;
    }
    const DWORD limit = waitMs < 0 || waitMs >= INFINITE ? INFINITE : static_cast<DWORD>(waitMs);
    if (WaitForSingleObject(port.ioEvent, limit) != WAIT_OBJECT_0) {
        CancelIoEx(port.file, &ov);
        GetOverlappedResult(port.file, &ov, done, TRUE);
        return true;  // a time-out, not a failure: the caller looks at the count
    }
    return GetOverlappedResult(port.file, &ov, done, FALSE) != 0;
}

// A pipe instance whose host has just left needs a moment to listen again; the open waits for
// it rather than failing, as a pseudo-terminal would not refuse either.
HANDLE OpenPipe(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPipeBusyWaitMs);
    for (;;) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY) return file;
        if (std::chrono::steady_clock::now() >= deadline) return INVALID_HANDLE_VALUE;
        // WaitNamedPipe returns at once while the instance is still held; a short sleep bounds the loop.
        if (!WaitNamedPipeA(path.c_str(), 50)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

DCB PipeLineState() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    return dcb;
}

}  // namespace

PortHandle OpenSerial(const char* name) {
    if (name == nullptr || *name == '\0') return kInvalidPortHandle;
    const bool pipe = IsPipePath(DevicePath(name));
    // Share mode 0: a port another handle holds cannot be opened. A pipe has one instance.
    HANDLE file = pipe ? OpenPipe(DevicePath(name))
                       : CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kInvalidPortHandle;
    HANDLE ioEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // A pipe holds nothing stale: the device end drops its buffer when a host leaves.
    if (ioEvent == nullptr || (!pipe && !PurgeComm(file, PURGE_RXABORT | PURGE_RXCLEAR))) {
        if (ioEvent != nullptr) CloseHandle(ioEvent);
        CloseHandle(file);
        return kInvalidPortHandle;
    }
    auto* port = new Win32Port;
    port->file = file;
    port->ioEvent = ioEvent;
    port->pipe = pipe;
    port->pipeState = PipeLineState();
    return reinterpret_cast<PortHandle>(port);
}

void CloseSerial(PortHandle handle) {
    Win32Port* port = PortOf(handle);
    if (port == nullptr) return;
    CloseHandle(port->file);
    if (port->readStuck) return;  // closing ends the read; its record must outlive it
    CloseHandle(port->ioEvent);
    delete port;
}

bool GetSerialState(PortHandle handle, DCB& dcb) {
    Win32Port* port = PortOf(handle);
    if (port == nullptr) return false;
    if (port->pipe) {
        dcb = port->pipeState;
        return true;
    }
    DCB current{};
    current.DCBlength = sizeof current;
    if (!GetCommState(port->file, &current)) return false;
    dcb = current;
    return true;
}

bool SetSerialState(PortHandle handle, const DCB& dcb) {
    Win32Port* port = PortOf(handle);
    if (port == nullptr) return false;
    DCB wanted = dcb;
    wanted.DCBlength = sizeof wanted;
    if (port->pipe) {
        port->pipeState = wanted;
        return true;
    }
    return SetCommState(port->file, &wanted) != 0;
}

int ReadSerial(PortHandle handle, unsigned char* buffer, int count, int byteWaitMs) {
    Win32Port* port = PortOf(handle);
    if (port == nullptr || count <= 0) return count == 0 ? 0 : -1;
    int got = 0;
    if (port->haveEarly) {
        buffer[got++] = port->early;
        port->haveEarly = false;
    }
    // Each read returns as soon as bytes are there; every new read restarts the wait, as a
    // series of one-byte reads would.
    if (!ApplyTimeouts(*port, ReadTimeouts(byteWaitMs))) return got > 0 ? got : -1;
    while (got < count) {
        DWORD n = 0;
        if (!Transfer(*port, false, buffer + got, static_cast<DWORD>(count - got), byteWaitMs > 0 ? byteWaitMs : 0, &n))
            return got > 0 ? got : -1;
        if (n == 0) break;
        got += static_cast<int>(n);
    }
    return got;
}

bool WriteSerial(PortHandle handle, const unsigned char* data, int count, unsigned int* written, int piece,
                 const COMMTIMEOUTS& timeouts) {
    Win32Port* port = PortOf(handle);
    if (written != nullptr) *written = 0;
    if (port == nullptr) return false;
    if (piece <= 0) piece = count;
    int done = 0;
    while (done < count) {
        const int n = count - done < piece ? count - done : piece;
        if (!ApplyTimeouts(*port, WriteTimeouts(timeouts, n))) break;
        DWORD sent = 0;
        const bool ok = Transfer(*port, true, const_cast<unsigned char*>(data + done), static_cast<DWORD>(n),
                                 WriteBudgetMs(timeouts, n), &sent);
        done += static_cast<int>(sent);
        if (!ok || sent != static_cast<DWORD>(n)) break;
    }
    if (written != nullptr) *written = static_cast<unsigned int>(done);
    return done == count;
}

// The latency of USB serial adapters is a setting of their Windows driver, not of the handle.
bool RequestLowLatency(PortHandle) { return false; }

bool OpenWake(WakeSignal& wake) {
    wake.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return wake.event != nullptr;
}

void CloseWake(WakeSignal& wake) {
    if (wake.event != nullptr) CloseHandle(static_cast<HANDLE>(wake.event));
    wake.event = nullptr;
}

void RaiseWake(const WakeSignal& wake) { SetEvent(static_cast<HANDLE>(wake.event)); }

void ClearWake(const WakeSignal& wake) { ResetEvent(static_cast<HANDLE>(wake.event)); }

PortEvent WaitPort(PortHandle handle, const WakeSignal& wake, int timeoutMs) {
    Win32Port* port = PortOf(handle);
    if (port == nullptr) return PortEvent::LineGone;
    if (port->haveEarly) return PortEvent::Readable;
    // The one-byte read in the form that returns as soon as a byte is there, as every read here
    // does (a read without time-outs is not cancellable under every driver, Wine's among them).
    // The wait below bounds it. WaitCommEvent would leave the byte on the line, but not every
    // driver reports receive events.
    if (!ApplyTimeouts(*port, ReadTimeouts(timeoutMs < 0 ? 0x7FFFFFFF : (timeoutMs > 0 ? timeoutMs : 1))))
        return PortEvent::LineGone;
    if (port->readStuck) return PortEvent::LineGone;
    OVERLAPPED& ov = port->waitRead;
    ov = OVERLAPPED{};
    ov.hEvent = port->ioEvent;
    ResetEvent(port->ioEvent);
    if (!ReadFile(port->file, &port->early, 1, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING)
        return PortEvent::LineGone;
    HANDLE waits[2] = {port->ioEvent, static_cast<HANDLE>(wake.event)};
    const DWORD which =
        WaitForMultipleObjects(2, waits, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    if (which != WAIT_OBJECT_0) {
        CancelIoEx(port->file, &ov);
        if (WaitForSingleObject(port->ioEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
            port->readStuck = true;
            return which == WAIT_OBJECT_0 + 1 ? PortEvent::Woken : PortEvent::LineGone;
        }
    }
    DWORD n = 0;
    const bool completed = GetOverlappedResult(port->file, &ov, &n, FALSE) != 0;
    if (completed && n == 1) {
        // A byte that arrived while the read was being cancelled still counts: input wins.
        port->haveEarly = true;
        return PortEvent::Readable;
    }
    if (which == WAIT_OBJECT_0 + 1) return PortEvent::Woken;
    if (which == WAIT_TIMEOUT || (which == WAIT_OBJECT_0 && completed)) return PortEvent::Timeout;
    return PortEvent::LineGone;  // the read failed, or the wait did
}

}  // namespace tessel::detail
