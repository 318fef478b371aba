#include <sim/bootloader_responder.h>
#include <sim/crc16.h>

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

constexpr uint8_t kAccepted = 0x20;
constexpr uint8_t kRefused = 0x21;
constexpr char kProgmodeText[] = "Enter Progmode\r\n";
constexpr size_t kProgmodeTextLength = sizeof kProgmodeText - 1;
constexpr size_t kHeaderLength = 10;

void Append16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void Append32(std::vector<uint8_t>& out, uint32_t value) {
    Append16(out, value >> 16);
    Append16(out, value);
}

uint32_t Read32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// How many of the available bytes agree with the start of the program-mode text.
size_t ProgmodeTextMatch(const uint8_t* input, size_t size) {
    size_t n = 0;
    while (n < size && n < kProgmodeTextLength && input[n] == static_cast<uint8_t>(kProgmodeText[n])) ++n;
    return n;
}

}  // namespace

void BootloaderResponder::Reset() {
    if (phase_ == Phase::ReceivingBlocks)
        phase_ = Phase::Normal;  // the update broke off; the bootloader stays in programming mode
}

long BootloaderResponder::Offer(const uint8_t* input, size_t size, SimState& state, Reply& reply) {
    if (phase_ == Phase::ReceivingBlocks) return Block(input, size, state, reply);

    const Identity& id = state.identity;
    const uint8_t request = input[0];
    std::vector<uint8_t>& out = reply.bytes;
    out.push_back(request);
    switch (request) {
    case 0x11:
        if (id.shortDeviceType)
            out.push_back(static_cast<uint8_t>(id.deviceType));
        else
            Append16(out, static_cast<uint32_t>(id.deviceType));
        return 1;
    case 0x14: Append16(out, static_cast<uint32_t>(id.deviceSubType)); return 1;
    case 0x15: Append16(out, static_cast<uint32_t>(id.revision)); return 1;
    case 0x16: Append16(out, static_cast<uint32_t>(id.firmwareVersion)); return 1;
    case 0x17: Append16(out, static_cast<uint32_t>(id.bootloaderVersion)); return 1;
    case 0x18:
        if (progmodeRequested_ && !state.programMode && progmodePollsLeft_ >= 0) {
            if (progmodePollsLeft_ == 0)
                state.programMode = true;
            else
                --progmodePollsLeft_;
        }
        out.push_back(state.programMode ? kAccepted : 0x00);
        reply.statusIndex = 1;
        return 1;
    case 0x19:
        for (size_t i = 0; i < 8; ++i)
            out.push_back(i < id.serialNumber.size() ? static_cast<uint8_t>(id.serialNumber[i]) : 0);
        return 1;
    case 0x1A: Append32(out, static_cast<uint32_t>(id.maxBaudRate)); return 1;
    case 0x1B:
    case 0x1E:
        // The answer still goes out at the old rate; the UART switches right after it.
        out.push_back(kAccepted);
        reply.statusIndex = 1;
        state.lineRate = request == 0x1B ? id.maxBaudRate : 9600;
        return 1;
    case 0x1C:
        out.insert(out.end(), id.description.begin(), id.description.end());
        out.push_back(0);
        return 1;
    case 0x1D:
        out.clear();
        return state.programMode ? UpdateHeader(input, size, state, reply) : EnterProgmode(input, size, state);
    case 0x1F:
        Append32(out, id.blockSize);
        Append32(out, id.programParameter2);
        return 1;
    default: out.clear(); return kNotMine;
    }
}

long BootloaderResponder::EnterProgmode(const uint8_t* input, size_t size, SimState& state) {
    long consumed = 1;
    if (state.identity.bootloaderVersion != 1) {
        size_t matched = ProgmodeTextMatch(input + 1, size - 1);
        if (matched == size - 1 && matched < kProgmodeTextLength) return kIncomplete;
        if (matched < kProgmodeTextLength)
            return 1;  // 0x1D without the text: ignored, the bootloader stays where it is
        consumed += static_cast<long>(kProgmodeTextLength);
    }
    progmodeRequested_ = true;
    progmodePollsLeft_ = state.identity.progmodeAfterPolls;
    if (progmodePollsLeft_ == 0) state.programMode = true;
    return consumed;
}

long BootloaderResponder::UpdateHeader(const uint8_t* input, size_t size, SimState& state, Reply& reply) {
    // A host that asks again for programming mode is answered by staying there.
    if (state.identity.bootloaderVersion != 1) {
        size_t matched = ProgmodeTextMatch(input + 1, size - 1);
        if (matched == size - 1 && matched < kProgmodeTextLength && matched > 0) return kIncomplete;
        if (matched == kProgmodeTextLength) return 1 + static_cast<long>(kProgmodeTextLength);
    }
    if (size < kHeaderLength) return kIncomplete;

    FirmwareUpdateRecord header;
    header.blockCount = input[1];
    header.imageSize = Read32(input + 2);
    header.lastBlockLength = (input[6] << 8) | input[7];
    header.updateParameter = (input[8] << 8) | input[9];
    const uint64_t blockSize = state.identity.blockSize;
    const bool consistent = header.blockCount > 0 && header.lastBlockLength > 0 &&
                            header.lastBlockLength <= static_cast<int>(std::min<uint64_t>(blockSize, 65535)) &&
                            (header.blockCount - 1) * blockSize + header.lastBlockLength == header.imageSize;
    header.headerAccepted = consistent;
    update_ = header;
    reply.bytes = {0x1D, static_cast<uint8_t>(consistent ? kAccepted : 0x00)};
    reply.statusIndex = 1;
    if (consistent) {
        update_.image.reserve(header.imageSize);
        phase_ = Phase::ReceivingBlocks;
    }
    return static_cast<long>(kHeaderLength);
}

long BootloaderResponder::Block(const uint8_t* input, size_t size, SimState& state, Reply& reply) {
    const int index = update_.blocksAccepted;
    const bool last = index + 1 == update_.blockCount;
    const size_t length = last ? static_cast<size_t>(update_.lastBlockLength) : state.identity.blockSize;
    if (size < length + 2) return kIncomplete;

    reply.request = kFirmwareBlock;
    reply.statusIndex = 0;
    const uint16_t expected = static_cast<uint16_t>((input[length] << 8) | input[length + 1]);
    if (Crc16Ccitt(input, length) != expected) {
        ++update_.blocksRefused;
        phase_ = Phase::Normal;  // the update is over; the bootloader waits for a new header
        reply.bytes = {kRefused, static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)};
        return static_cast<long>(length + 2);
    }
    update_.image.insert(update_.image.end(), input, input + length);
    ++update_.blocksAccepted;
    reply.bytes = {kAccepted, static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)};
    if (last) {
        // The new firmware starts: programming mode is over.
        update_.completed = true;
        phase_ = Phase::Normal;
        state.programMode = false;
        progmodeRequested_ = false;
    }
    return static_cast<long>(length + 2);
}

}  // namespace sim
