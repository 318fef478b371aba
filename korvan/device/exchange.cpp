#include <korvan/device/detail/exchange.h>

#include <cassert>
#include <chrono>
#include <thread>

namespace korvan::detail {
namespace {

// Silence this long means nothing more is on its way.
constexpr int kDrainQuietMs = 5;

// A late reply is a few bytes; a line that keeps babbling must not hold the next command back
// for ever, so discarding stops after one reply time-out and the command goes out regardless.
void DiscardLateInput(SerialLine& line) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    unsigned char junk = 0;
    while (line.rs232.Receive(&junk, 1, kDrainQuietMs) && std::chrono::steady_clock::now() < deadline) {
    }
    line.staleInput = false;
}

void WaitForQuietLine(SerialLine& line) {
    std::this_thread::sleep_until(line.quietUntil);
    line.quietUntil = {};
    line.staleInput = true;  // the device's answer to the broken image may still arrive
}

}  // namespace

void AbandonImage(SerialLine& line) {
    line.quietUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAbandonedImagePauseMs);
}

Reply Exchange(SerialLine& line, Request request, std::size_t replyLength, int timeoutMs) {
    const Command& command = request.command();
    std::vector<std::uint8_t>& out = request.bytes();
    assert(command.requestLength == 0 || out.size() == command.requestLength);
    if (replyLength == 0) replyLength = command.replyLength;

    if (line.quietUntil != std::chrono::steady_clock::time_point{}) WaitForQuietLine(line);
    if (line.staleInput) DiscardLateInput(line);

    Reply reply;
    const bool open = line.rs232.IsConnected();
    if (!open || !line.rs232.Send(out.data(), static_cast<int>(out.size()))) {
        reply.outcome = Outcome::SendFailed;
        line.failure = open ? Failure::LineBroken : Failure::NoConnection;
        return reply;
    }
    reply.bytes.assign(replyLength, 0);
    if (!line.rs232.Receive(reply.bytes.data(), static_cast<int>(replyLength), timeoutMs)) {
        reply.outcome = Outcome::Incomplete;
        line.failure = Failure::Timeout;
        line.staleInput = true;
    } else if (reply.bytes[0] != command.code) {
        reply.outcome = Outcome::WrongEcho;
        line.failure = Failure::GarbledReply;
        line.staleInput = true;
    } else if (command.statusByte && reply.bytes[1] != kStatusDone) {
        reply.outcome = Outcome::Refused;
        line.failure = Failure::DeviceRefused;
    } else {
        reply.outcome = Outcome::Done;
    }
    return reply;
}

bool ReceiveMore(SerialLine& line, std::uint8_t* out, std::size_t count, int timeoutMs) {
    if (line.rs232.Receive(out, static_cast<int>(count), timeoutMs)) return true;
    line.failure = Failure::Timeout;
    line.staleInput = true;
    return false;
}

}  // namespace korvan::detail
