#include <sim/device_responder.h>
#include <sim/image/decoded_image.h>

#include <memory>

namespace sim {
namespace {

constexpr uint8_t kDone = 0xFF;
constexpr uint8_t kRefused = 0x01;
constexpr uint8_t kNotRunnable = 0x03;  // start: the block holds no checked image
constexpr uint8_t kBusy = 0x05;         // start: a sequence already runs
constexpr size_t kMaxUserDataWrite = 60;

// Request lengths of the device's commands, by command byte; 0: not a device command.
// The user data write is longer by its data.
size_t RequestLength(uint8_t code) {
    switch (code) {
    case 0x31:
    case 0x40:
    case 0x4F:
    case 0x36:
    case 0x1E:
    case 0x3B:
    case 0x41:
    case 0x42:
    case 0x43:
    case 0x44:
    case 0x61:
    case 0x3D: return 1;
    case 0xFD:
    case 0x3A: return 2;
    case 0x38:
    case 0xFE:
    case 0x3C:
    case 0x60: return 3;
    case 0x39: return 4;
    case 0xDE: return 5;
    case 0x3F:
    case 0x3E: return 9;
    default: return 0;
    }
}

using image::IsAnalogChannel;
using image::IsDigitalLine;

uint32_t Be(const uint8_t* p, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) v = (v << 8) | p[i];
    return v;
}

void PutBe(std::vector<uint8_t>& out, uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

void DeviceResponder::Reset() {
    if (imageExpected_ > 0) {
        model_.memory.Erase(imageNumber_);  // the image broke off: its reservation goes
        imageExpected_ = 0;
    }
}

long DeviceResponder::Offer(const uint8_t* input, size_t size, SimState& state, Reply& reply) {
    if (imageExpected_ > 0) return Image(input, size, reply);
    const uint8_t code = input[0];
    if (code == 0x1E && !model_.applicationMode) return kNotMine;
    if (RequestLength(code) == 0) {
        // A bootloader request: the host talks to the bootloader again.
        if (code >= 0x11 && code <= 0x1F) model_.applicationMode = false;
        return kNotMine;
    }
    model_.applicationMode = true;
    return Command(input, size, state, reply);
}

long DeviceResponder::Image(const uint8_t* input, size_t size, Reply& reply) {
    if (size < imageExpected_) return kIncomplete;
    const long consumed = static_cast<long>(imageExpected_);
    auto decoded = image::DecodeImage(input, imageExpected_, imageMain_);
    if (decoded.Ok()) {
        model_.memory.Fill(imageNumber_, std::vector<uint8_t>(input, input + imageExpected_),
                           std::make_shared<const image::DecodedImage>(std::move(decoded.image)));
    } else {
        model_.memory.Erase(imageNumber_);
        model_.lastImageError = decoded.error;
    }
    imageExpected_ = 0;
    reply.bytes = {decoded.Ok() ? kDone : kRefused};
    reply.request = 0x3F;  // faults aimed at the upload meet its data reply as well
    reply.statusIndex = 0;
    return consumed;
}

uint8_t DeviceResponder::StateCode(unsigned firmwareVersion) {
    if (model_.forcedStateCode >= 0) return static_cast<uint8_t>(model_.forcedStateCode);
    if (model_.defragmentQueriesLeft > 0) {
        if (--model_.defragmentQueriesLeft == 0) model_.memory.Compact();
        return 4;
    }
    switch (runner_.State().phase) {
    case image::Phase::Armed: return 3;
    case image::Phase::WaitingInput: return 6;
    case image::Phase::WaitingUser: return firmwareVersion >= 16 ? 9 : 8;
    case image::Phase::Running: return 1;
    case image::Phase::Ended: break;
    }
    // A test may mark a sequence as running without executing one.
    return model_.runningSequence >= 0 ? 1 : 0;
}

void DeviceResponder::FireDueInput() {
    const RunState run = runner_.State();
    if (run.waitPort < 0) {
        waitSeen_ = false;
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!waitSeen_) {
        waitSeen_ = true;
        waitSince_ = now;
    }
    if (now - waitSince_ < std::chrono::milliseconds(autoInputMs_)) return;
    waitSeen_ = false;
    SetInput(run.waitPort, run.waitTrigger != 2);
}

void DeviceResponder::RecordDirect(image::Event event, uint8_t channel, uint32_t value) {
    runner_.Timeline().Add(image::Record{runner_.DeviceTimeUs(), event, image::ListId::None, channel, value});
}

int DeviceResponder::Advance() {
    int ms = -1;
    if (autoInputMs_ >= 0 && runner_.Active()) FireDueInput();
    if (runner_.Active()) {
        ms = runner_.Advance();
        model_.sequenceCounter = runner_.State().run;
        if (!runner_.Active()) model_.runningSequence = -1;
    }
    timelineFile_.AppendIfRunEnded(runner_);
    return ms;
}

bool DeviceResponder::OnStart(std::string* error) { return timelineFile_.Open(error); }

void DeviceResponder::OnStop() { timelineFile_.Append(runner_); }

void DeviceResponder::SetInput(int port, bool high) {
    if (port < 0 || port > 3) return;
    model_.inputs[static_cast<size_t>(port)] = high;
    runner_.SetInput(port, high);
}

void DeviceResponder::SetLine(uint8_t line, uint8_t level) { model_.lineLevels[line] = level; }
void DeviceResponder::PulseLine(uint8_t line) { ++model_.pulseCounts[line]; }
void DeviceResponder::SetAnalog(uint8_t channel, uint16_t value) { model_.analog[channel] = value; }

uint8_t DeviceResponder::Start(const uint8_t* in) {
    DeviceModel& m = model_;
    const uint16_t number = static_cast<uint16_t>(Be(in + 1, 2));
    const uint8_t input = in[3], trigger = in[4];
    const DeviceMemory::Block* block = m.memory.Find(number);
    if (block == nullptr || (input > 3 && input != 255) || (input <= 3 && trigger != 1 && trigger != 2))
        return kRefused;
    if (runner_.Active() || m.runningSequence >= 0) return kBusy;
    if (!block->decoded) return kNotRunnable;
    image::StartParams params;
    params.sequenceNumber = number;
    params.input = input;
    params.trigger = trigger;
    params.runs = Be(in + 5, 4);
    params.tickTimeUs = m.tickTime;
    params.inputs = m.inputs;
    m.runningSequence = number;
    m.startInput = input;
    m.startTrigger = trigger;
    m.startRuns = params.runs;
    runner_.Start(block->decoded, params, this);
    m.sequenceCounter = runner_.State().run;
    return kDone;
}

void DeviceResponder::StateReply(const SimState& state, std::vector<uint8_t>& out) {
    out.push_back(StateCode(state.identity.firmwareVersion));
    out.push_back(model_.errorBits);
    PutBe(out, model_.sequenceCounter, 4);
    if (state.identity.firmwareVersion >= 16) PutBe(out, model_.statusWord, 2);
}

long DeviceResponder::Command(const uint8_t* in, size_t size, SimState& state, Reply& reply) {
    const uint8_t code = in[0];
    size_t length = RequestLength(code);
    if (code == 0x60 && size >= 3) length += Be(in + 1, 2);
    if (size < length) return kIncomplete;

    DeviceModel& m = model_;
    std::vector<uint8_t>& out = reply.bytes;
    out.push_back(code);
    if (code == 0x31 || code == 0x61) {
        // The two replies without a status byte.
        if (code == 0x31) {
            StateReply(state, out);
        } else {
            PutBe(out, static_cast<uint32_t>(m.userData.size()), 2);
            out.insert(out.end(), m.userData.begin(), m.userData.end());
        }
        return static_cast<long>(length);
    }
    reply.statusIndex = 1;
    out.push_back(kDone);
    uint8_t& status = out[1];

    switch (code) {
    case 0x40:  // reset: whatever runs ends, the lines go to their defaults
        runner_.Stop();
        m.runningSequence = -1;
        m.forcedStateCode = -1;
        for (uint8_t line = 0; line < m.lineLevels.size(); ++line)
            if (IsDigitalLine(line) && m.lineLevels[line] != m.outputDefaults[line])
                RecordDirect(image::Event::Line, line, m.outputDefaults[line]);
        m.lineLevels = m.outputDefaults;
        break;
    case 0x4F: m.errorBits = 0; break;
    case 0x36:
        if (m.forcedStateCode == 9)
            m.forcedStateCode = -1;
        else if (!runner_.AcknowledgeUser())
            status = kRefused;
        break;
    case 0x1E:
        m.applicationMode = false;
        state.lineRate = 9600;
        break;
    case 0x38:
        if (IsDigitalLine(in[1])) {
            m.lineLevels[in[1]] = in[2];
            RecordDirect(image::Event::Line, in[1], in[2]);
        } else {
            status = kRefused;
        }
        break;
    case 0x39:
        if (IsAnalogChannel(in[1])) {
            m.analog[in[1]] = static_cast<uint16_t>(Be(in + 2, 2));
            const image::Event event = in[1] == 2   ? image::Event::MirrorX
                                       : in[1] == 3 ? image::Event::MirrorY
                                                    : image::Event::Analog;
            RecordDirect(event, in[1], m.analog[in[1]]);
        } else {
            status = kRefused;
        }
        break;
    case 0xFE:
        if (IsDigitalLine(in[1]))
            m.outputDefaults[in[1]] = in[2];
        else
            status = kRefused;
        break;
    case 0xFD:
        if (!IsDigitalLine(in[1])) status = kRefused;
        out.push_back(in[1]);
        out.push_back(IsDigitalLine(in[1]) ? m.outputDefaults[in[1]] : 0);
        break;
    case 0xDE:
        if (Be(in + 1, 4) == 0)
            status = kRefused;
        else
            m.tickTime = Be(in + 1, 4);
        break;
    case 0x3A: {
        const bool mirror = in[1] == 2 || in[1] == 3;
        if (!mirror) status = kRefused;
        PutBe(out, mirror ? m.analog[in[1]] : 0, 2);
        break;
    }
    case 0x3C:
        if (!m.memory.Erase(static_cast<uint16_t>(Be(in + 1, 2)))) status = kRefused;
        break;
    case 0x3B: m.memory.EraseAll(); break;
    case 0x41: PutBe(out, static_cast<uint32_t>(m.memory.Stored().size()), 2); break;
    case 0x42:
        for (const DeviceMemory::Block* b : m.memory.Stored()) {
            PutBe(out, b->number, 2);
            PutBe(out, b->size, 4);
        }
        break;
    case 0x43:
        PutBe(out, m.memory.FreeBytes(), 4);
        PutBe(out, m.memory.LargestFreeBlock(), 4);
        break;
    case 0x44:
        m.defragmentQueriesLeft = m.defragmentQueries > 0 ? m.defragmentQueries : 0;
        if (m.defragmentQueriesLeft == 0) m.memory.Compact();
        break;
    case 0x60: {
        const size_t n = Be(in + 1, 2);
        if (n == 0 || n > kMaxUserDataWrite)
            status = kRefused;
        else
            m.userData.assign(in + 3, in + 3 + n);
        break;
    }
    case 0x3F: {
        const uint32_t imageLength = Be(in + 1, 4);
        const auto number = imageLength > 0 ? m.memory.Reserve(imageLength) : std::nullopt;
        if (!number) status = kRefused;
        PutBe(out, number.value_or(0), 2);
        if (number) {
            imageExpected_ = imageLength;
            imageMain_ = Be(in + 5, 4);
            imageNumber_ = *number;
        }
        break;
    }
    case 0x3E: status = Start(in); break;
    case 0x3D:
        runner_.Stop();
        m.runningSequence = -1;
        if (m.forcedStateCode == 9) m.forcedStateCode = -1;
        break;
    }
    return static_cast<long>(length);
}

}  // namespace sim
