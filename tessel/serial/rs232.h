#pragma once
#include <tessel/export.h>
#include <tessel/serial/communicator.h>
#include <tessel/serial/serial_types.h>

/// Synchronous serial port: 8 data bits, no parity, one stop bit, no hardware flow control,
/// optional XON/XOFF. Every call blocks the calling thread; one thread uses an object at a time.
///
/// Port names: on POSIX a device name under /dev ("ttyUSB0", "ttyACM1", "pts/7"); a name
/// that starts with '/' is a full path. A port is opened exclusively: a second open of the same
/// port, from this or another process, fails.
///
/// Memory: every pointer this class hands out (port lists, received data, name copies) is
/// allocated by tessel and released by the caller with FreeRS232Memory.
///
/// Copying: a copy takes the settings (baud rate, callback, terminator, XON/XOFF) and its own
/// copy of the port name, but starts closed; it never shares the open port of the original.
///
/// Environment: TESSEL_TRACE=1 traces every byte sent and received to stderr (a value other
/// than 1 names a file to append to). Enumeration honours TESSEL_EXTRA_PORTS and
/// TESSEL_NO_HARDWARE_PORTS (see GetSpecificCOMPorts).
class TESSEL_API RS232 : public Communicator {
public:
    RS232();
    RS232(const RS232& other);
    RS232& operator=(const RS232& other);
    /// Releases the name and closes the port.
    ~RS232() override;

    /// True while the port is open.
    bool IsConnected() override;
    /// Closes an open port first, stores a copy of `port`, opens it exclusively, discards
    /// pending input, sets 1000 ms time-outs and configures the line at `baudRate`.
    /// On Linux it also asks the driver for low-latency delivery (the serial low-latency flag),
    /// so that a USB serial adapter hands each reply over at once instead of after its latency
    /// timer (often 16 ms). Drivers without that setting (pseudo-terminals, most built-in UARTs)
    /// refuse it; the port then opens as before.
    /// False (port closed) when `port` is null or empty or any step fails; with a null or
    /// empty name the stored name is left unchanged.
    bool Connect(char* port) override;
    /// Reopens the stored port name; false without a stored name.
    bool Connect();
    /// Closes the port; the stored name survives, so Connect() can reopen it.
    void Disconnect() override;

    /// A new copy of the stored port name, or null when none. Free with FreeRS232Memory.
    char* PortName();
    /// Replaces the stored name with a copy of `name`; null or "" leaves no name stored.
    void PortName(const char* name);

    /// Sends `text` without its terminating NUL.
    bool Send(char* text) override;
    /// Sends `length` bytes, cut into pieces of 50. With `sendProgressCallback` set, it is called with
    /// (offset + 1, length) before a piece whose offset lies more than 1000 bytes beyond the last
    /// report (first reference 0), and with (length, length) at the end; a false from it stops
    /// the send with false. A length of 0 sends nothing and makes only the final report; a
    /// negative length, or a null `data` with a positive length, gives false without any report.
    /// A piece that the line does not take within the write time-out (set by Connect and by every
    /// receive operation) ends the send with false.
    bool Send(unsigned char* data, int length) override;
    /// Reads exactly `count` bytes into `buffer`; each byte is awaited for at most
    /// 2 x timeoutMs (bytes already waiting are taken in one system call). False at the first byte that does not arrive
    /// (earlier bytes stay in the buffer). A count of 0 gives true without reading; a negative count, or a null buffer
    /// with count > 0, gives false. In every case the time-outs are set first (all five to timeoutMs).
    bool Receive(unsigned char* buffer, int count, int timeoutMs) override;
    /// Reads until the line has been silent for the read time-out. With at least one byte:
    /// *data = a new buffer of exactly *length bytes (free with FreeRS232Memory), true.
    /// Otherwise false, *length = 0 and *data untouched. A line that never falls silent is read
    /// at most 64 KiB per call: those bytes come back (true) and the rest waits on the line.
    bool Receive(unsigned char** data, int* length, int timeoutMs) override;
    /// Reads until the received text (up to its first NUL byte) ends with `lineTerminator`.
    /// *data = a new NUL-terminated buffer of the bytes, terminator included; *length = their
    /// count. False, with *data untouched, when a byte does not arrive first or no line has
    /// ended within 64 KiB.
    bool ReceiveLine(unsigned char** data, int* length, int timeoutMs);

    /// Lists the serial ports present, as a new array of *count strings (free each string and
    /// then the array with FreeRS232Memory); with none, *ports and *count are not touched.
    /// First pass: real serial hardware (legacy UART entries without a UART skipped), matched
    /// against `filter` as a substring of the friendly name "Product text (ttyUSB0)", then the
    /// names in TESSEL_EXTRA_PORTS (separated by ':'). If the pass yields nothing, the fallback
    /// pass lists the existing /dev/ttyS*, ttyUSB*, ttyACM* without the filter.
    /// TESSEL_NO_HARDWARE_PORTS=1 switches off the hardware pass and the fallback.
    /// The system's active console is never listed.
    void GetSpecificCOMPorts(char*** ports, int* count);
    void GetSpecificCOMPorts(char*** ports, int* count, char* filter);
    /// Releases memory handed out by this class (null is ignored).
    void FreeRS232Memory(void* memory);

private:
    bool OpenPort(char* port);
    bool ConfigurePort(unsigned long baud, unsigned char byteSize, unsigned long parityCheck, unsigned char parity,
                       unsigned char stopBits);
    bool SetCommunicationTimeouts(unsigned long readInterval, unsigned long readTotalMultiplier,
                                  unsigned long readTotalConstant, unsigned long writeTotalMultiplier,
                                  unsigned long writeTotalConstant);
    void ClosePort();
    bool FinishPortStep(bool ok);
    bool ReadByte(unsigned char* byte);
    // Reads up to `count` bytes, each awaited as a one-byte read with the current time-outs would
    // be; what has arrived comes in one system call. Returns the number read.
    int ReadBytes(unsigned char* buffer, int count);
    // What has arrived, up to `capacity` bytes, without waiting; -1 when the read failed.
    int ReadAvailable(unsigned char* buffer, int capacity);
    int ByteWaitMs() const;
    int real_read(unsigned char* buffer, int count, int byteWaitMs);
    bool real_send(unsigned char* data, int length);

    // The asynchronous port waits on the line itself and takes what has arrived.
    friend class RS232Async;

    PortHandle portHandle;
    DCB dcb;
    COMMTIMEOUTS timeouts;
    PlatformBool lastResult;
    unsigned int bytesWritten;
    char* portName;

public:
    /// Baud rate that the next Connect configures; 9600 after construction.
    int baudRate;
    /// Progress of Send: (bytes sent so far, total); returning false cancels. Null by default.
    bool (*sendProgressCallback)(int sent, int total);
    /// Text that ends a line for ReceiveLine; "\r\n" by default. Not owned.
    const char* lineTerminator;
    /// Enables XON/XOFF software flow control at the next Connect; false by default.
    bool xonXoff;
};
