#pragma once
// The text protocol of the virtual device (its text mode, see UseTextProtocol): the host sends
// query lines ended by LF; the device answers with text lines, each ended by LF, and a final line
// ACK or NACK. The line starts at 115200 baud.
//
// Queries:
//   device:type?  device:revision?  device:firmware:version?  device:bootloader:version?
//   device:serial?  device:name?      one answer line each, from the Identity
//   device:baudrate:max?              the identity's maximum baud rate in decimal
//   device:baudrate:set!              ACK at the old rate, then the line runs at the maximum
//   device:baudrate:reset!            ACK at the old rate, then the line runs at 115200
//   device:help?                      one answer line per query the device knows
//   device:transfer:N!                binary transfer: ACK (NACK unless 1 <= N <= 16 MiB), then
//                                     the next N bytes are data, answered by the lines
//                                     "bytes:N" and "crc:XXXX" (CRC-16/CCITT of the data, hex)
//                                     and ACK. Data that stops coming for 200 ms before N bytes
//                                     (once one has come) is answered with "bytes:<received>"
//                                     and NACK.
// Anything else is answered NACK. A line is the bytes before the LF, compared exactly (a CR
// before the LF makes it another line).
//
// Faults: rules match the request codes below (TextRequestCode). NoReply, LateReply and LineGone
// work as for the byte protocols; ShortReply leaves out the final LF, so the last line is cut
// short. TextModel::crBeforeFinalLine puts a CR before the LF of final lines.
#include <sim/responder.h>

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace sim {

constexpr int kTextDefaultBaud = 115200;
// Request codes of text queries for FaultRule::request: kTextRequestBase + the query's place in
// the list above (device:type? = base + 0, ...); unknown lines and the data of a transfer have
// codes of their own.
constexpr int kTextRequestBase = 0x200;
constexpr int kTextUnknownRequest = 0x2FE;
constexpr int kTextTransferData = 0x2FF;
// The request code of a query line (without its LF), as fault rules match it.
int TextRequestCode(const std::string& line);

struct TextTransferRecord {
    size_t announced = 0;
    std::vector<uint8_t> data;  // what arrived
    bool completed = false;
};

// What the text device does beyond its identity; tests set and read it through
// VirtualDevice::WithResponder<TextResponder>.
struct TextModel {
    std::set<std::string> refused;   // queries answered NACK although known
    std::set<std::string> silent;    // queries acknowledged without their answer lines
    int crBeforeFinalLine = 0;       // this many replies get "ACK\r\n" / "NACK\r\n"
    std::vector<std::string> lines;  // every line received, in order
    TextTransferRecord lastTransfer;
};

class VirtualDevice;

// Puts a device that has not started yet into text mode: a TextResponder holds the line for good,
// so that the byte protocols never see the host's text, and the line starts at 115200 baud.
void UseTextProtocol(VirtualDevice& device);

class TextResponder : public Responder {
public:
    long Offer(const uint8_t* input, size_t size, SimState& state, Reply& reply) override;
    // In text mode every byte is the text device's, transfer data or not.
    bool HoldsLine() const override { return true; }
    void Reset() override;

    TextModel& Model() { return model_; }

private:
    void Query(const std::string& line, SimState& state, Reply& reply);
    long Data(const uint8_t* input, size_t size, Reply& reply);
    void Finish(bool ack, Reply& reply);

    TextModel model_;
    bool transferring_ = false;
    size_t seenSize_ = 0;
    std::chrono::steady_clock::time_point lastGrowth_{};
};

}  // namespace sim
