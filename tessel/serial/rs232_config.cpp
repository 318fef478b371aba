// RS232: lifetime, connection and line configuration.
#include <tessel/serial/rs232.h>

#include <tessel/serial/detail/heap.h>
#include <tessel/serial/detail/no_throw.h>
#include <tessel/serial/detail/serial_platform.h>

#include <cstdlib>

using tessel::detail::HeapText;

RS232::RS232()
    : portHandle(kInvalidPortHandle),
      dcb(),
      timeouts(),
      lastResult(0),
      bytesWritten(0),
      portName(nullptr),
      baudRate(9600),
      sendProgressCallback(nullptr),
      lineTerminator("\r\n"),
      xonXoff(false) {}

RS232::RS232(const RS232& other)
    : Communicator(other),
      portHandle(kInvalidPortHandle),
      dcb(other.dcb),
      timeouts(other.timeouts),
      lastResult(0),
      bytesWritten(0),
      portName(HeapText(other.portName)),
      baudRate(other.baudRate),
      sendProgressCallback(other.sendProgressCallback),
      lineTerminator(other.lineTerminator),
      xonXoff(other.xonXoff) {}

RS232& RS232::operator=(const RS232& other) {
    if (this == &other) return *this;
    ClosePort();
    std::free(portName);
    portName = HeapText(other.portName);
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
    char* copy = HeapText(portName);
    if (copy == nullptr) return false;
    bool ok = Connect(copy);  // virtual: a subclass's override is used
    std::free(copy);
    return ok;
}

void RS232::Disconnect() { ClosePort(); }

char* RS232::PortName() { return HeapText(portName); }

void RS232::PortName(const char* name) {
    char* copy = (name != nullptr && *name != '\0') ? HeapText(name) : nullptr;
    std::free(portName);  // after copying: `name` may be our own string
    portName = copy;
}

bool RS232::OpenPort(char* port) {
    return tessel::detail::NoThrow(
        [&] {
            portHandle = tessel::detail::OpenSerial(port);
            if (portHandle == kInvalidPortHandle) return false;
            // Replies of a few bytes must not wait for a USB adapter's latency timer; drivers
            // without the setting (pseudo-terminals, most UARTs) refuse, which changes nothing.
            tessel::detail::RequestLowLatency(portHandle);
            return true;
        },
        [this] { ClosePort(); });
}

bool RS232::ConfigurePort(unsigned long baud, unsigned char byteSize, unsigned long parityCheck, unsigned char parity,
                          unsigned char stopBits) {
    bool ok = tessel::detail::NoThrow(
        [&] {
            if (!tessel::detail::GetSerialState(portHandle, dcb)) return false;
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
            return tessel::detail::SetSerialState(portHandle, dcb);
        },
        [] {});
    return FinishPortStep(ok);
}

bool RS232::SetCommunicationTimeouts(unsigned long readInterval, unsigned long readTotalMultiplier,
                                     unsigned long readTotalConstant, unsigned long writeTotalMultiplier,
                                     unsigned long writeTotalConstant) {
    // termios has no place for time-outs: the record lives here and goes with every read and
    // write. A closed port fails here as the system would reject its handle.
    timeouts.ReadIntervalTimeout = static_cast<std::uint32_t>(readInterval);
    timeouts.ReadTotalTimeoutMultiplier = static_cast<std::uint32_t>(readTotalMultiplier);
    timeouts.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(readTotalConstant);
    timeouts.WriteTotalTimeoutMultiplier = static_cast<std::uint32_t>(writeTotalMultiplier);
    timeouts.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(writeTotalConstant);
    bool ok = portHandle != kInvalidPortHandle;
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
