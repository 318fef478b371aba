#pragma once
#include <tessel/export.h>

#include <atomic>
#include <list>

class RS232;

/// Client of the line-oriented text protocol. The host sends a query line ended by LF; the
/// device answers with any number of text lines, each ended by LF, and a final line "ACK"
/// (accepted) or "NACK" (refused). The final line is recognised only exactly so: "ACK" preceded
/// by a CR is an ordinary answer line.
///
/// The port runs at 115200 baud, 8N1, no flow control, lines ended by LF; it is opened by the
/// constructor and stays open until Disconnect, a reply that does not arrive in time (the device
/// is then taken as lost: every later query fails), or destruction.
///
/// Memory: answer arrays handed out by Query and BinaryTransfer belong to this object; give each
/// back with CleanupMemory, or leave it to the destructor.
///
/// Threads: one thread at a time, except AbortBinaryTransfer, which is meant to be called from
/// another thread while BinaryTransfer runs. Copying is refused (a copy would share the port).
class TESSEL_API ASCIIProtocol {
public:
    /// Opens `portName` (e.g. "ttyUSB0"); each answer line is awaited for `timeoutMs` per byte
    /// as RS232::ReceiveLine defines it (500 ms unless given). A port that does not open leaves
    /// an object whose queries all fail (IsConnected() false).
    explicit ASCIIProtocol(char* portName);
    ASCIIProtocol(char* portName, unsigned long long timeoutMs);
    ASCIIProtocol(const ASCIIProtocol&) = delete;
    ASCIIProtocol& operator=(const ASCIIProtocol&) = delete;
    /// Releases every answer array not yet given back and closes the port.
    ~ASCIIProtocol();

    /// True while the port opened by the constructor is open and no reply has been lost.
    bool IsConnected();
    /// Closes the port; every later query fails.
    void Disconnect();

    /// Sends `query` (nothing at all when it is empty) and reads the answer lines up to the final
    /// ACK or NACK. True when a final line arrived; `*ack` tells which. `*answers` (owned by this
    /// object, give back with CleanupMemory) holds the `*count` answer lines without their LF,
    /// NUL-terminated. False when not connected, when an argument is null, or when a line did not
    /// arrive in time (the port is then closed); `*count` is then 0 and `*answers` untouched.
    bool Query(char* query, char*** answers, unsigned long long* count, bool* ack);
    /// As above; true only when the device answered ACK.
    bool Query(char* query, char*** answers, unsigned long long* count);
    /// The full query with the answer lines released at once.
    bool Query(char* query, bool* ack);
    /// True only when the device answered ACK; the answer lines are released at once.
    bool Query(char* query);
    /// Releases an answer array handed out by this object; others (and null) are ignored.
    void CleanupMemory(char** answers);

    /// Sends `command`; after its ACK writes `size` raw bytes of `data` in pieces of 10,000 bytes,
    /// then reads the device's closing answer lines and final line, which are returned as by
    /// Query (the command's own answer lines are released). True when the command was
    /// acknowledged and the closing answer arrived; `*ack` is the closing answer's. A piece that
    /// the line does not take ends the writing; the closing answer decides.
    bool BinaryTransfer(char* command, unsigned char* data, unsigned long long size, char*** answers,
                        unsigned long long* count, bool* ack);
    /// As above; true only when the closing answer is ACK.
    bool BinaryTransfer(char* command, unsigned char* data, unsigned long long size, char*** answers,
                        unsigned long long* count);
    /// As above with the answer lines released at once.
    bool BinaryTransfer(char* command, unsigned char* data, unsigned long long size);
    /// Makes a running BinaryTransfer stop before its next piece; the closing answer is still
    /// read. Callable from any thread.
    void AbortBinaryTransfer();

    /// Asks the device for its maximum baud rate ("device:baudrate:max?", first answer line in
    /// decimal), switches it ("device:baudrate:set!"), then reopens the port at that rate after
    /// 100 ms. False without switching anything when the rate is missing, does not parse or is
    /// not positive, or when the device refuses; false also when the port does not reopen.
    bool SetMaxBaudrate();
    /// Returns the device to 115200 baud ("device:baudrate:reset!") and reopens the port at that
    /// rate. False when the device refuses or the port does not reopen.
    bool SetDefaultBaudrate();

    /// The serial line (owned). Its sendProgressCallback, when set, reports each piece of a
    /// binary transfer as one send; leave its other settings alone.
    RS232& Port() { return *port; }

private:
    struct AnswerRecord {
        char** answers;
        unsigned long long count;
    };
    void init(char* portName, unsigned long long timeoutMs);
    bool real_query(char* query, char*** answers, unsigned long long* count, bool* ack);
    bool real_binarytransfer(char* command, unsigned char* data, unsigned long long size, char*** answers,
                             unsigned long long* count, bool* ack);
    bool ReopenAt(int baudRate, int waitMs);
    static void removeNewline(char* text);
    static void ReleaseAnswers(char** answers, unsigned long long count);

    RS232* port;
    bool connected;
    unsigned long long timeoutMs;
    std::list<AnswerRecord> answerRegistry;
    std::atomic<bool> abortTransfer;
};
