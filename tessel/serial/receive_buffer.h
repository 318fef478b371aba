#pragma once
#include <tessel/export.h>

#include <vector>

/// Cuts a stream of received bytes into replies. Each reply starts with a command byte; the
/// command list says how many bytes a reply to each command has.
///
/// Framing rules:
/// - A first byte that is in the list with a reply length of 1 or more starts a reply of that
///   many bytes, the command byte included (length 1: the byte is a whole reply).
/// - A first byte listed with a reply length of 0 or less starts a reply that ends with
///   `terminator` (terminator included), for commands whose replies are text lines. With an
///   empty terminator such a reply is the byte alone. A reply that grows to 64 KiB without its
///   terminator is handed over as it stands.
/// - A first byte that is not in the list starts no reply: it is dropped and the next byte is
///   looked at as a first byte. An unknown or stray byte therefore never swallows the reply that
///   follows it.
///
/// Not synchronised: one thread at a time (RS232Async guards its own).
class TESSEL_API ReceiveBuffer {
public:
    /// Empty buffer and command list; `terminator` is the empty text.
    ReceiveBuffer();
    ReceiveBuffer(const ReceiveBuffer&) = default;
    ReceiveBuffer(ReceiveBuffer&&) = default;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = default;
    ReceiveBuffer& operator=(ReceiveBuffer&&) = default;
    ~ReceiveBuffer() = default;

    /// Lists `command` with replies of `replyLength` bytes, the command byte included. Returns 1;
    /// 0 and no change when `command` is listed already (its old length stays).
    int AddCommand(unsigned char command, int replyLength);
    /// Removes `command` from the list; the other entries keep their order. An absent command
    /// changes nothing.
    void DeleteCommand(unsigned char command);
    /// Feeds one received byte. Returns the complete reply when this byte completes one,
    /// otherwise an empty array.
    std::vector<unsigned char> AddToBuffer(unsigned char byte);
    /// Forgets a partly received reply (the command list stays).
    void Clear();

    /// Ends replies of commands listed with a reply length of 0 or less. Not owned; the empty
    /// text after construction.
    const char* terminator;

private:
    struct Entry {
        unsigned char command;
        int bytesAfterFirst;
    };
    int GetExpectedBytes(unsigned char command);
    int isInCommandList(unsigned char command);
    std::vector<unsigned char> TakeReply();

    std::vector<unsigned char> buffer;
    std::vector<Entry> commands;
    int expectedBytes;
    int terminatorMode;
};
