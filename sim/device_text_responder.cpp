#include <sim/device_text_responder.h>
#include <sim/crc16.h>
#include <sim/virtual_device.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kLineLimit = 1024;                  // a longer line without LF is noise
constexpr size_t kTransferLimit = 16 * 1024 * 1024;  // largest transfer announced
constexpr auto kTransferQuiet = std::chrono::milliseconds(200);
constexpr char kTransferPrefix[] = "device:transfer:";

const char* const kQueries[] = {
    "device:type?",           "device:revision?", "device:firmware:version?", "device:bootloader:version?",
    "device:serial?",         "device:name?",     "device:baudrate:max?",     "device:baudrate:set!",
    "device:baudrate:reset!", "device:help?",     "device:transfer:N!",
};
constexpr int kQueryCount = static_cast<int>(sizeof kQueries / sizeof kQueries[0]);
constexpr int kTransferIndex = kQueryCount - 1;

void AppendLine(std::vector<uint8_t>& out, const std::string& line) {
    out.insert(out.end(), line.begin(), line.end());
    out.push_back('\n');
}

// N of "device:transfer:N!", or 0 when the line does not announce a usable transfer.
size_t TransferLength(const std::string& line) {
    const size_t prefix = sizeof kTransferPrefix - 1;
    if (line.size() < prefix + 2 || line.compare(0, prefix, kTransferPrefix) != 0 || line.back() != '!') return 0;
    size_t n = 0;
    for (size_t i = prefix; i + 1 < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
        n = n * 10 + static_cast<size_t>(line[i] - '0');
        if (n > kTransferLimit) return 0;
    }
    return n;
}

bool IsTransfer(const std::string& line) { return line.compare(0, sizeof kTransferPrefix - 1, kTransferPrefix) == 0; }

}  // namespace

void UseTextProtocol(VirtualDevice& device) {
    device.AddResponder(std::make_unique<TextResponder>());
    device.WithState([](SimState& state) { state.lineRate = kTextDefaultBaud; });
}

int TextRequestCode(const std::string& line) {
    if (IsTransfer(line)) return kTextRequestBase + kTransferIndex;
    for (int i = 0; i < kTransferIndex; ++i)
        if (line == kQueries[i]) return kTextRequestBase + i;
    return kTextUnknownRequest;
}

void TextResponder::Reset() {
    transferring_ = false;
    seenSize_ = 0;
}

long TextResponder::Offer(const uint8_t* input, size_t size, SimState& state, Reply& reply) {
    if (transferring_) return Data(input, size, reply);
    const uint8_t* lf = static_cast<const uint8_t*>(std::memchr(input, '\n', size));
    if (lf == nullptr) {
        if (size < kLineLimit) return kIncomplete;
        // No line ends here: noise, refused as one unknown line.
        reply.request = kTextUnknownRequest;
        Finish(false, reply);
        return static_cast<long>(size);
    }
    const std::string line(reinterpret_cast<const char*>(input), static_cast<size_t>(lf - input));
    Query(line, state, reply);
    return static_cast<long>(lf - input) + 1;
}

void TextResponder::Finish(bool ack, Reply& reply) {
    std::string final = ack ? "ACK" : "NACK";
    if (model_.crBeforeFinalLine > 0) {
        --model_.crBeforeFinalLine;
        final += '\r';
    }
    AppendLine(reply.bytes, final);
}

void TextResponder::Query(const std::string& line, SimState& state, Reply& reply) {
    model_.lines.push_back(line);
    reply.request = TextRequestCode(line);
    const Identity& id = state.identity;
    const int index = reply.request - kTextRequestBase;
    if (reply.request == kTextUnknownRequest || model_.refused.count(line) != 0) {
        Finish(false, reply);
        return;
    }
    if (model_.silent.count(line) != 0) {
        Finish(true, reply);
        return;
    }
    std::vector<uint8_t>& out = reply.bytes;
    switch (index) {
    case 0: AppendLine(out, std::to_string(id.deviceType)); break;
    case 1: AppendLine(out, std::to_string(id.revision)); break;
    case 2: AppendLine(out, std::to_string(id.firmwareVersion)); break;
    case 3: AppendLine(out, std::to_string(id.bootloaderVersion)); break;
    case 4: AppendLine(out, id.serialNumber); break;
    case 5: AppendLine(out, id.description); break;
    case 6: AppendLine(out, std::to_string(id.maxBaudRate)); break;
    case 7:
    case 8:
        // The answer still goes out at the old rate; the UART switches right after it.
        Finish(true, reply);
        state.lineRate = index == 7 ? id.maxBaudRate : kTextDefaultBaud;
        return;
    case 9:
        for (const char* q : kQueries) AppendLine(out, q);
        break;
    case kTransferIndex: {
        const size_t n = TransferLength(line);
        if (n == 0) {
            Finish(false, reply);
            return;
        }
        model_.lastTransfer = TextTransferRecord{};
        model_.lastTransfer.announced = n;
        transferring_ = true;
        seenSize_ = 0;
        lastGrowth_ = Clock::now();
        break;
    }
    default: break;
    }
    Finish(true, reply);
    return;
}

long TextResponder::Data(const uint8_t* input, size_t size, Reply& reply) {
    TextTransferRecord& record = model_.lastTransfer;
    const size_t wanted = record.announced;
    reply.request = kTextTransferData;
    if (size >= wanted) {
        record.data.assign(input, input + wanted);
        record.completed = true;
        transferring_ = false;
        char crc[16];
        std::snprintf(crc, sizeof crc, "crc:%04X", Crc16Ccitt(input, wanted));
        AppendLine(reply.bytes, "bytes:" + std::to_string(wanted));
        AppendLine(reply.bytes, crc);
        Finish(true, reply);
        return static_cast<long>(wanted);
    }
    // The device's thread offers the pending bytes on every pass, so silence is seen here.
    const auto now = Clock::now();
    if (size != seenSize_) {
        seenSize_ = size;
        lastGrowth_ = now;
        return kIncomplete;
    }
    if (now - lastGrowth_ < kTransferQuiet) return kIncomplete;
    record.data.assign(input, input + size);
    transferring_ = false;
    AppendLine(reply.bytes, "bytes:" + std::to_string(size));
    Finish(false, reply);
    return static_cast<long>(size);
}

}  // namespace sim
