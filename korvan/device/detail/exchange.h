#pragma once
// One command exchange with the device: send the request, read the reply of known length with
// the time-out, check echo and status. Every operation goes through Exchange.
#include <korvan/device/detail/big_endian.h>
#include <korvan/device/detail/command_table.h>
#include <korvan/device/failure.h>
#include <korvan/device/result_codes.h>
#include <tessel/serial/rs232.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvan::detail {

/// The serial port of a Korvan object, shared by its copies.
struct SerialLine {
    RS232 rs232;
    /// An exchange failed by time-out or wrong echo, so a late reply may still be on its way;
    /// the next exchange discards whatever arrived before it sends.
    bool staleInput = false;
    /// A sequence image broke off: the device still waits for its rest and takes what comes as
    /// image data until the line has been silent for its pause rule. The next exchange waits
    /// until this time before it sends.
    std::chrono::steady_clock::time_point quietUntil{};
    /// The caller's progress function (SetSendingDataFct). The port reports through it only while
    /// a sequence image is sent: a function that cancels must not fail the commands around it.
    bool (*imageProgress)(int, int) = nullptr;
    /// What went wrong last on this line (Exchange, ReceiveMore, an image send); Korvan clears it
    /// before each operation and reads it when the operation gives ResultCommunicationError.
    Failure failure = Failure::None;
};

/// Request bytes: the command byte followed by big-endian parameters.
class Request {
public:
    explicit Request(const Command& command) : command_(command) { bytes_.push_back(command.code); }
    Request& U8(std::uint8_t value) { return Put<1>(value); }
    Request& U16(std::uint16_t value) { return Put<2>(value); }
    Request& U32(std::uint32_t value) { return Put<4>(value); }
    Request& Bytes(const std::uint8_t* data, std::size_t count) {
        bytes_.insert(bytes_.end(), data, data + count);
        return *this;
    }
    const Command& command() const { return command_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    template <std::size_t Width>
    Request& Put(std::uint32_t value) {
        std::uint8_t raw[Width];
        StoreBigEndian<Width>(raw, value);
        return Bytes(raw, Width);
    }
    const Command& command_;
    std::vector<std::uint8_t> bytes_;
};

enum class Outcome {
    Done,  ///< complete reply, right echo, status 0xFF (or no status byte)
    SendFailed,
    Incomplete,  ///< fewer bytes than expected within the time-out
    WrongEcho,
    Refused,  ///< the status byte was not 0xFF; see Reply::Status
};

struct Reply {
    Outcome outcome = Outcome::SendFailed;
    std::vector<std::uint8_t> bytes;  ///< the whole reply, echo included

    bool Done() const { return outcome == Outcome::Done; }
    /// The status byte, for a reply that was complete and had the right echo.
    std::uint8_t Status() const { return bytes.size() > 1 ? bytes[1] : 0; }
    template <std::size_t Width>
    std::uint32_t At(std::size_t offset) const {
        return LoadBigEndian<Width>(bytes.data() + offset);
    }
};

/// Sends `request` and reads a reply of `replyLength` bytes (0: the command's own length).
Reply Exchange(SerialLine& line, Request request, std::size_t replyLength = 0, int timeoutMs = kReplyTimeoutMs);

/// Reads `count` further bytes of a reply into `out` (the user data after its header).
bool ReceiveMore(SerialLine& line, std::uint8_t* out, std::size_t count, int timeoutMs = kReplyTimeoutMs);

/// Records that a sequence image broke off (see SerialLine::quietUntil).
void AbandonImage(SerialLine& line);

/// The common mapping of an outcome: 0 when done, otherwise 1.
inline unsigned int ResultOf(const Reply& reply) { return reply.Done() ? ResultSuccess : ResultCommunicationError; }

}  // namespace korvan::detail
