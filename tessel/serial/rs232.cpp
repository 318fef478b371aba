#include <tessel/serial/rs232.h>

#include <tessel/serial/detail/port_enumeration.h>
#include <tessel/serial/detail/serial_platform.h>
#include <tessel/serial/detail/trace.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int kSendPiece = 50;           // piece size; reports fall on piece boundaries
constexpr int kProgressSpacing = 1000;   // a report only after more than this many bytes
constexpr int kBufferGrowth = 50;        // growth step of the receive work buffers
constexpr std::size_t kTerminatorLimit = 100;
// A line that never falls silent (or never ends a line) would otherwise be read for ever into an
// ever-growing buffer; no reply of the device comes near this.
constexpr std::size_t kReceiveLimit = 64 * 1024;

char* DuplicateText(const char* text) {
    if (text == nullptr) return nullptr;
    std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
}

// Copy of `bytes` on tessel's heap, zero-filled beyond them up to `size`.
unsigned char* HeapBytes(const std::vector<unsigned char>& bytes, std::size_t size) {
    auto* out = static_cast<unsigned char*>(std::calloc(size == 0 ? 1 : size, 1));
    if (out != nullptr && !bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    return out;
}

bool EndsWith(const std::vector<unsigned char>& received, const char* terminator) {
    std::size_t textLength = strnlen(reinterpret_cast<const char*>(received.data()), received.size());
    std::size_t termLength = strnlen(terminator, kTerminatorLimit);
    if (termLength == 0) return true;
    if (textLength < termLength) return false;
    return std::memcmp(received.data() + textLength - termLength, terminator, termLength) == 0;
}

}  // namespace

RS232::RS232()
    : portHandle(kInvalidPortHandle), dcb(), timeouts(), lastResult(0), bytesWritten(0),
      portName(nullptr), baudRate(9600), sendProgressCallback(nullptr), lineTerminator("\r\n"),
      xonXoff(false) {}

RS232::RS232(const RS232& other)
    : Communicator(other), portHandle(kInvalidPortHandle), dcb(other.dcb),
      timeouts(other.timeouts), lastResult(0), bytesWritten(0),
      portName(DuplicateText(other.portName)), baudRate(other.baudRate),
      sendProgressCallback(other.sendProgressCallback), lineTerminator(other.lineTerminator),
      xonXoff(other.xonXoff) {}

RS232& RS232::operator=(const RS232& other) {
    if (this == &other) return *this;
    ClosePort();
    std::free(portName);
    portName = DuplicateText(other.portName);
    dcb = other.dcb;
    timeouts = other.timeouts;
    lastResult = 0;
    bytesWritten = 0;
    baudRate = other.baudRate;
    sendProgressCallback = other.sendProgressCallback;
    lineTerminator = other.lineTerminator;
    xonXoff = other.xonXoff;
    return *this;
}

RS232::~RS232() {
    std::free(portName);
    portName = nullptr;
    ClosePort();
}

bool RS232::IsConnected() { return portHandle != kInvalidPortHandle; }

bool RS232::Connect(char* port) {
    if (IsConnected()) Disconnect();
    if (port == nullptr || *port == '\0') return false;
    PortName(port);
    if (!OpenPort(portName)) return false;
    if (!SetCommunicationTimeouts(1000, 1000, 1000, 1000, 1000)) return false;
    return ConfigurePort(static_cast<unsigned long>(baudRate), 8, 0, NOPARITY, ONESTOPBIT);
}

bool RS232::Connect() {
    if (portName == nullptr) return false;
    char* copy = DuplicateText(portName);
    if (copy == nullptr) return false;
    bool ok = Connect(copy);  // virtual: a subclass's override is used
    std::free(copy);
    return ok;
}

void RS232::Disconnect() { ClosePort(); }

char* RS232::PortName() { return DuplicateText(portName); }

void RS232::PortName(const char* name) {
    char* copy = (name != nullptr && *name != '\0') ? DuplicateText(name) : nullptr;
    std::free(portName);  // after copying: `name` may be our own string
    portName = copy;
}

bool RS232::OpenPort(char* port) {
    try {
        portHandle = tessel::detail::OpenSerial(port);
    } catch (...) {
        portHandle = kInvalidPortHandle;
    }
    if (portHandle == kInvalidPortHandle) {
        ClosePort();
        return false;
    }
    return true;
}

bool RS232::ConfigurePort(unsigned long baud, unsigned char byteSize, unsigned long parityCheck,
                          unsigned char parity, unsigned char stopBits) {
    bool ok = false;
    try {
        ok = tessel::detail::GetSerialState(portHandle, dcb);
        if (!ok) return FinishPortStep(false);
        dcb.DCBlength = 28;
        dcb.BaudRate = static_cast<std::uint32_t>(baud);
        dcb.ByteSize = byteSize;
        dcb.Parity = parity;
        dcb.StopBits = stopBits;
        dcb.fBinary = 1;
        dcb.fParity = parityCheck & 1u;
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fDsrSensitivity = 0;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fOutX = xonXoff ? 1 : 0;
        dcb.fInX = xonXoff ? 1 : 0;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.fNull = 0;
        dcb.fAbortOnError = 1;
        ok = tessel::detail::SetSerialState(portHandle, dcb);
    } catch (...) {
        ok = false;
    }
    return FinishPortStep(ok);
}

bool RS232::SetCommunicationTimeouts(unsigned long readInterval, unsigned long readTotalMultiplier,
                                     unsigned long readTotalConstant,
                                     unsigned long writeTotalMultiplier,
                                     unsigned long writeTotalConstant) {
    bool ok = false;
    try {
        ok = tessel::detail::GetSerialTimeouts(portHandle, timeouts);
        if (ok) {
            timeouts.ReadIntervalTimeout = static_cast<std::uint32_t>(readInterval);
            timeouts.ReadTotalTimeoutMultiplier = static_cast<std::uint32_t>(readTotalMultiplier);
            timeouts.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(readTotalConstant);
            timeouts.WriteTotalTimeoutMultiplier = static_cast<std::uint32_t>(writeTotalMultiplier);
            timeouts.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(writeTotalConstant);
            ok = tessel::detail::SetSerialTimeouts(portHandle, timeouts);
        }
    } catch (...) {
        ok = false;
    }
    return FinishPortStep(ok);
}

bool RS232::FinishPortStep(bool ok) {
    lastResult = ok ? 1 : 0;
    if (!ok) ClosePort();  // a failed state or time-out step leaves the port closed
    return ok;
}

void RS232::ClosePort() {
    if (portHandle != kInvalidPortHandle) tessel::detail::CloseSerial(portHandle);
    portHandle = kInvalidPortHandle;
}

bool RS232::ReadByte(unsigned char* byte) {
    try {
        return real_read_byte(byte);
    } catch (...) {
        ClosePort();
        return false;
    }
}

bool RS232::real_read_byte(unsigned char* byte) {
    *byte = 0;
    if (tessel::detail::ReadSerial(portHandle, byte, 1) != 1) return false;
    if (tessel::detail::TraceEnabled()) tessel::detail::TraceBytes("<-", portName, byte, 1);
    return true;
}

bool RS232::Send(char* text) {
    if (text == nullptr) return false;
    return Send(reinterpret_cast<unsigned char*>(text), static_cast<int>(std::strlen(text)));
}

bool RS232::Send(unsigned char* data, int length) {
    if (length < 0 || (data == nullptr && length > 0)) return false;
    try {
        return real_send(data, length);
    } catch (...) {
        ClosePort();
        return false;
    }
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
        if (!tessel::detail::WriteSerial(portHandle, data + offset, end - offset, &bytesWritten, kSendPiece))
            return false;
        if (tessel::detail::TraceEnabled()) tessel::detail::TraceBytes("->", portName, data + offset, end - offset);
        offset = end;
    }
    if (sendProgressCallback != nullptr && !sendProgressCallback(length, length)) return false;
    return true;
}

bool RS232::Receive(unsigned char* buffer, int count, int timeoutMs) {
    unsigned long t = timeoutMs < 0 ? 0ul : static_cast<unsigned long>(timeoutMs);
    if (!SetCommunicationTimeouts(t, t, t, t, t)) return false;
    if (count == 0) return true;
    if (count < 0 || buffer == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        if (!ReadByte(buffer + i)) return false;
    }
    return true;
}

bool RS232::Receive(unsigned char** data, int* length, int timeoutMs) {
    if (data == nullptr || length == nullptr) return false;
    unsigned long t = timeoutMs < 0 ? 0ul : static_cast<unsigned long>(timeoutMs);
    if (!SetCommunicationTimeouts(t, t, t, t, t)) return false;
    *length = 0;
    try {
        std::vector<unsigned char> work;
        work.reserve(kBufferGrowth);
        unsigned char byte = 0;
        while (work.size() < kReceiveLimit && ReadByte(&byte)) {
            if (work.size() == work.capacity()) work.reserve(work.capacity() + kBufferGrowth);
            work.push_back(byte);
        }
        if (work.empty()) return false;
        unsigned char* out = HeapBytes(work, work.size());
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
    unsigned long t = timeoutMs < 0 ? 0ul : static_cast<unsigned long>(timeoutMs);
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
        unsigned char* out = HeapBytes(work, work.size() + 1);
        if (out == nullptr) return false;
        *data = out;
        *length = static_cast<int>(work.size());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void RS232::GetSpecificCOMPorts(char*** ports, int* count) { GetSpecificCOMPorts(ports, count, nullptr); }

void RS232::GetSpecificCOMPorts(char*** ports, int* count, char* filter) {
    if (ports == nullptr || count == nullptr) return;
    std::vector<std::string> names;
    try {
        names = tessel::detail::EnumeratePorts(filter);
    } catch (...) {
        return;
    }
    *count = static_cast<int>(names.size());
    if (names.empty()) return;
    auto** list = static_cast<char**>(std::calloc(names.size(), sizeof(char*)));
    if (list == nullptr) {
        *count = 0;
        return;
    }
    for (std::size_t i = 0; i < names.size(); ++i) list[i] = DuplicateText(names[i].c_str());
    *ports = list;
}

void RS232::FreeRS232Memory(void* memory) { std::free(memory); }
