// RS232: sending and receiving.
#include <tessel/serial/rs232.h>

#include <tessel/serial/detail/heap.h>
#include <tessel/serial/detail/no_throw.h>
#include <tessel/serial/detail/serial_platform.h>
#include <tessel/serial/detail/trace.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int kSendPiece = 50;          // piece size; reports fall on piece boundaries
constexpr int kProgressSpacing = 1000;  // a report only after more than this many bytes
constexpr int kBufferGrowth = 50;       // growth step of the line read's work buffer
constexpr int kReadChunk = 4096;        // bytes taken per system call when reading until silence
constexpr std::size_t kTerminatorLimit = 100;
// A line that never falls silent (or never ends a line) would otherwise be read for ever into an
// ever-growing buffer; no reply of the device comes near this.
constexpr std::size_t kReceiveLimit = 64 * 1024;

bool EndsWith(const std::vector<unsigned char>& received, const char* terminator) {
    std::size_t textLength = strnlen(reinterpret_cast<const char*>(received.data()), received.size());
    std::size_t termLength = strnlen(terminator, kTerminatorLimit);
    if (termLength == 0) return true;
    if (textLength < termLength) return false;
    return std::memcmp(received.data() + textLength - termLength, terminator, termLength) == 0;
}

unsigned long TimeoutArgument(int timeoutMs) { return timeoutMs < 0 ? 0ul : static_cast<unsigned long>(timeoutMs); }

}  // namespace

bool RS232::ReadByte(unsigned char* byte) { return ReadBytes(byte, 1) == 1; }

int RS232::ReadBytes(unsigned char* buffer, int count) {
    int got = 0;
    tessel::detail::NoThrow([&] { return (got = real_read(buffer, count, ByteWaitMs())) > 0; },
                            [&] {
                                got = 0;
                                ClosePort();
                            });
    return got;
}

int RS232::ReadAvailable(unsigned char* buffer, int capacity) {
    int got = 0;
    tessel::detail::NoThrow([&] { return (got = real_read(buffer, capacity, 0)) > 0; },
                            [&] {
                                got = -1;
                                ClosePort();
                            });
    return got;
}

int RS232::ByteWaitMs() const {
    // A one-byte read waits multiplier x 1 + constant.
    long long wait = static_cast<long long>(timeouts.ReadTotalTimeoutMultiplier) + timeouts.ReadTotalTimeoutConstant;
    return wait > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(wait);
}

int RS232::real_read(unsigned char* buffer, int count, int byteWaitMs) {
    std::memset(buffer, 0, static_cast<std::size_t>(count));
    int got = tessel::detail::ReadSerial(portHandle, buffer, count, byteWaitMs);
    if (got > 0 && tessel::detail::TraceEnabled())
        tessel::detail::TraceBytes("<-", portName, buffer, static_cast<std::size_t>(got));
    return got;
}

bool RS232::Send(char* text) {
    if (text == nullptr) return false;
    return Send(reinterpret_cast<unsigned char*>(text), static_cast<int>(std::strlen(text)));
}

bool RS232::Send(unsigned char* data, int length) {
    if (length < 0 || (data == nullptr && length > 0)) return false;
    return tessel::detail::NoThrow([&] { return real_send(data, length); }, [this] { ClosePort(); });
}

bool RS232::real_send(unsigned char* data, int length) {
    // The block is cut into 50-byte pieces, and a progress report (which may cancel) falls before
    // the first piece that lies more than 1000 bytes beyond the last report. The pieces between two
    // such points go to the driver in one call: the line sees the same bytes and the caller the
    // same reports and cancel points, for a twentieth of the system calls.
    int lastReport = 0;
    int offset = 0;
    while (offset < length) {
        if (sendProgressCallback != nullptr && offset - lastReport > kProgressSpacing) {
            if (!sendProgressCallback(offset + 1, length)) return false;
            lastReport = offset;
        }
        int end = length;
        if (sendProgressCallback != nullptr) {
            int nextReport = lastReport + (kProgressSpacing / kSendPiece + 1) * kSendPiece;
            if (nextReport < end) end = nextReport;
        }
        bytesWritten = 0;
        if (!tessel::detail::WriteSerial(portHandle, data + offset, end - offset, &bytesWritten, kSendPiece, timeouts))
            return false;
        if (tessel::detail::TraceEnabled()) tessel::detail::TraceBytes("->", portName, data + offset, end - offset);
        offset = end;
    }
    if (sendProgressCallback != nullptr && !sendProgressCallback(length, length)) return false;
    return true;
}

bool RS232::Receive(unsigned char* buffer, int count, int timeoutMs) {
    unsigned long t = TimeoutArgument(timeoutMs);
    if (!SetCommunicationTimeouts(t, t, t, t, t)) return false;
    if (count == 0) return true;
    if (count < 0 || buffer == nullptr) return false;
    // Each byte is awaited as a one-byte read would await it, but what has already arrived comes
    // in one system call: a command's reply costs one wake-up, not one per byte.
    return ReadBytes(buffer, count) == count;
}

bool RS232::Receive(unsigned char** data, int* length, int timeoutMs) {
    if (data == nullptr || length == nullptr) return false;
    unsigned long t = TimeoutArgument(timeoutMs);
    if (!SetCommunicationTimeouts(t, t, t, t, t)) return false;
    *length = 0;
    try {
        std::vector<unsigned char> work;
        for (;;) {
            std::size_t room = std::min<std::size_t>(kReadChunk, kReceiveLimit - work.size());
            if (room == 0) break;
            std::size_t before = work.size();
            work.resize(before + room);
            int got = ReadBytes(work.data() + before, static_cast<int>(room));
            work.resize(before + static_cast<std::size_t>(got));
            if (static_cast<std::size_t>(got) < room) break;  // the line fell silent
        }
        if (work.empty()) return false;
        unsigned char* out = tessel::detail::HeapBytes(work, work.size());
        if (out == nullptr) return false;
        *data = out;
        *length = static_cast<int>(work.size());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool RS232::ReceiveLine(unsigned char** data, int* length, int timeoutMs) {
    if (data == nullptr || length == nullptr) return false;
    unsigned long t = TimeoutArgument(timeoutMs);
    if (!SetCommunicationTimeouts(t, t, t, t, t)) return false;
    *length = 0;
    const char* terminator = lineTerminator != nullptr ? lineTerminator : "";
    try {
        std::vector<unsigned char> work;
        work.reserve(kBufferGrowth);
        for (;;) {
            unsigned char byte = 0;
            if (work.size() >= kReceiveLimit) return false;
            if (!Receive(&byte, 1, timeoutMs)) return false;  // virtual: slot 5
            if (work.size() == work.capacity()) work.reserve(work.capacity() + kBufferGrowth);
            work.push_back(byte);
            if (EndsWith(work, terminator)) break;
        }
        unsigned char* out = tessel::detail::HeapBytes(work, work.size() + 1);
        if (out == nullptr) return false;
        *data = out;
        *length = static_cast<int>(work.size());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
