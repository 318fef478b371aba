// The virtual device's line on Windows: a duplex byte-mode named pipe, one instance, overlapped.
// The device end is the server. When the host closes its end the instance waits for the next
// host at once, so the port stays there between connections as a pseudo-terminal does.
#include <sim/detail/pty.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace sim::detail {

struct Pipe {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE readEvent = nullptr;  // manual-reset; signals the pending connect or read
    HANDLE writeEvent = nullptr;
    OVERLAPPED readOv{};
    bool pending = false;    // a connect or read is in flight on readOv
    bool connected = false;  // a host has the pipe open
    uint8_t buffer[4096];
    DWORD have = 0;  // bytes in `buffer` not handed out yet, from `taken` on
    DWORD taken = 0;
};

namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;

// The port name is the pipe's path under the device namespace, "pipe\\kXYZ", as "COM7" is
// "\\.\COM7": it must fit the nine characters a device description keeps of a port name. Three
// base-36 digits name the pipe; a name another process already serves is skipped (the pipe is
// created with FILE_FLAG_FIRST_PIPE_INSTANCE). The start depends on the process so that
// several simulators rarely try the same names.
constexpr unsigned kPipeNames = 36 * 36 * 36;

std::string PipeName(unsigned n) {
    const char* digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    n %= kPipeNames;
    return std::string("pipe\\k") + digits[n / 1296] + digits[n / 36 % 36] + digits[n % 36];
}

std::string PipePath(const std::string& portName) { return "\\\\.\\" + portName; }

std::string SystemMessage(const char* what) { return std::string(what) + ": error " + std::to_string(GetLastError()); }

// Ends the transfer in flight on `ov`, waiting for it: its buffer must outlive it.
void CancelAndWait(HANDLE handle, OVERLAPPED* ov) {
    CancelIoEx(handle, ov);
    DWORD ignored = 0;
    GetOverlappedResult(handle, ov, &ignored, TRUE);
}

// Starts waiting for a host. False when the pipe cannot listen.
bool Listen(Pipe& p) {
    p.connected = false;
    p.have = p.taken = 0;
    p.readOv = OVERLAPPED{};
    p.readOv.hEvent = p.readEvent;
    ResetEvent(p.readEvent);
    if (ConnectNamedPipe(p.handle, &p.readOv)) {
        p.connected = true;  // overlapped connects normally pend; this is the odd immediate form
        return true;
    }
    switch (GetLastError()) {
    case ERROR_IO_PENDING: p.pending = true; return true;
    case ERROR_PIPE_CONNECTED:  // the host came between CreateNamedPipe and here
        p.connected = true;
        return true;
    default: return false;
    }
}

// The host closed its end: drop its instance and wait for the next host.
bool Relisten(Pipe& p) {
    DisconnectNamedPipe(p.handle);
    return Listen(p);
}

bool StartRead(Pipe& p) {
    p.readOv = OVERLAPPED{};
    p.readOv.hEvent = p.readEvent;
    ResetEvent(p.readEvent);
    if (ReadFile(p.handle, p.buffer, sizeof p.buffer, nullptr, &p.readOv) || GetLastError() == ERROR_IO_PENDING) {
        p.pending = true;  // an immediate completion also signals the event
        return true;
    }
    return GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_PIPE_NOT_CONNECTED ? Relisten(p) : false;
}

bool HostGone(DWORD error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA;
}

// Collects the finished connect or read. False when the pipe failed.
bool Complete(Pipe& p) {
    p.pending = false;
    DWORD n = 0;
    if (!GetOverlappedResult(p.handle, &p.readOv, &n, FALSE)) {
        const DWORD error = GetLastError();
        if (HostGone(error)) return Relisten(p);
        return error == ERROR_OPERATION_ABORTED;
    }
    if (!p.connected) {
        p.connected = true;
        return true;
    }
    p.have = n;
    p.taken = 0;
    return true;
}

}  // namespace

bool OpenPty(Pty* pty, std::string* error) {
    auto* p = new Pipe;
    pty->pipe = p;
    auto fail = [&](const char* what) {
        if (error) *error = SystemMessage(what);
        ClosePty(pty);
        return false;
    };
    p->readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    p->writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (p->readEvent == nullptr || p->writeEvent == nullptr) return fail("CreateEvent");
    // One instance: a second host is refused while the first has the line, as with a COM port.
    static std::atomic<unsigned> next{static_cast<unsigned>(GetCurrentProcessId()) * 97u};
    for (unsigned tries = 0; tries < kPipeNames && p->handle == INVALID_HANDLE_VALUE; ++tries) {
        pty->portName = PipeName(next++);
        p->handle = CreateNamedPipeA(PipePath(pty->portName).c_str(),
                                     PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                     kPipeBufferBytes, kPipeBufferBytes, 0, nullptr);
        const DWORD why = GetLastError();
        if (p->handle == INVALID_HANDLE_VALUE && why != ERROR_ACCESS_DENIED && why != ERROR_PIPE_BUSY) break;
    }
    if (p->handle == INVALID_HANDLE_VALUE) return fail("CreateNamedPipe");
    if (!Listen(*p)) return fail("ConnectNamedPipe");
    return true;
}

void ClosePty(Pty* pty) {
    Pipe* p = pty->pipe;
    if (p == nullptr) return;
    if (p->handle != INVALID_HANDLE_VALUE) {
        if (p->pending) CancelAndWait(p->handle, &p->readOv);
        CloseHandle(p->handle);
    }
    if (p->readEvent != nullptr) CloseHandle(p->readEvent);
    if (p->writeEvent != nullptr) CloseHandle(p->writeEvent);
    delete p;
    pty->pipe = nullptr;
}

bool PtyOpen(const Pty& pty) { return pty.pipe != nullptr; }

WaitResult WaitReadable(Pty& pty, int timeoutMs) {
    Pipe* p = pty.pipe;
    if (p == nullptr) return WaitResult::Failed;
    // steady_clock, not GetTickCount64: the latter moves in 16 ms steps, longer than a poll.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (p->have > 0) return WaitResult::Readable;
        if (!p->pending && p->connected && !StartRead(*p)) return WaitResult::Failed;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();

        const DWORD waited = WaitForSingleObject(p->readEvent, left > 0 ? static_cast<DWORD>(left) : 0);
        if (waited == WAIT_TIMEOUT) return WaitResult::Timeout;
        if (waited != WAIT_OBJECT_0 || !Complete(*p)) return WaitResult::Failed;
    }
}

long ReadAvailable(Pty& pty, uint8_t* buffer, size_t capacity) {
    Pipe* p = pty.pipe;
    if (p == nullptr) return -1;
    if (p->have == 0) {
        const WaitResult r = WaitReadable(pty, 0);
        if (r == WaitResult::Failed) return -1;
        if (r == WaitResult::Timeout) return 0;
    }
    const size_t n = p->have < capacity ? p->have : capacity;
    std::memcpy(buffer, p->buffer + p->taken, n);
    p->taken += static_cast<DWORD>(n);
    p->have -= static_cast<DWORD>(n);
    return static_cast<long>(n);
}

bool WriteAll(Pty& pty, const uint8_t* data, size_t size, int timeoutMs) {
    Pipe* p = pty.pipe;
    if (p == nullptr) return false;
    // Not `connected`: that is the reading thread's view, which may lag behind a host that has
    // just opened. Without a host the write fails at once (ERROR_PIPE_LISTENING): the bytes are
    // lost, as on a line nobody listens to.
    size_t done = 0;
    while (done < size) {
        OVERLAPPED ov{};
        ov.hEvent = p->writeEvent;
        ResetEvent(p->writeEvent);
        const DWORD chunk = static_cast<DWORD>(size - done < kPipeBufferBytes ? size - done : kPipeBufferBytes);
        if (!WriteFile(p->handle, data + done, chunk, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) return false;
        if (WaitForSingleObject(p->writeEvent, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
            CancelAndWait(p->handle, &ov);
            return false;
        }
        DWORD n = 0;
        if (!GetOverlappedResult(p->handle, &ov, &n, FALSE) || n == 0) return false;
        done += n;
    }
    return true;
}

int HostBaudRate(const Pty&) { return 0; }

}  // namespace sim::detail
