#include <korvan/sequence/detail/actions.h>

#include <korvan/device/detail/big_endian.h>

namespace korvan::detail {
namespace {

SequenceAction Make(std::uint32_t tick, ActionCode code, std::uint8_t channel, std::uint32_t value) {
    SequenceAction a;
    a.tick = tick;
    a.code = code;
    a.channel = channel;
    a.value = value;
    return a;
}

}  // namespace

std::size_t SequenceAction::Length() const {
    switch (code) {
    case ActionCode::WaitTTL: return 3;
    case ActionCode::WaitUser: return 3;
    case ActionCode::SetTTL: return 3;
    case ActionCode::PulseTTL: return 2;
    case ActionCode::SetAnalog: return 4;
    case ActionCode::Jump: return 14;
    case ActionCode::NOP: return 1;
    }
    return 1;
}

std::size_t SequenceAction::Encode(std::uint8_t* out) const {
    out[0] = static_cast<std::uint8_t>(code);
    switch (code) {
    case ActionCode::WaitTTL:
        out[1] = channel;
        out[2] = trigger;
        break;
    case ActionCode::WaitUser: StoreBigEndian<2>(out + 1, value); break;
    case ActionCode::SetTTL:
        out[1] = channel;
        out[2] = static_cast<std::uint8_t>(value);
        break;
    case ActionCode::PulseTTL: out[1] = channel; break;
    case ActionCode::SetAnalog:
        out[1] = channel;
        StoreBigEndian<2>(out + 2, value);
        break;
    case ActionCode::Jump:
        // The count twice: the device loads its loop counter from one and keeps the other.
        StoreBigEndian<4>(out + 1, value);
        StoreBigEndian<4>(out + 5, value);
        StoreBigEndian<4>(out + kJumpDistanceOffset, target);
        out[13] = channel;
        break;
    case ActionCode::NOP: break;
    }
    return Length();
}

SequenceAction ActionSetTTL(std::uint32_t tick, std::uint8_t lineCode, std::uint8_t level) {
    return Make(tick, ActionCode::SetTTL, lineCode, level);
}

SequenceAction ActionPulseTTL(std::uint32_t tick, std::uint8_t lineCode) {
    return Make(tick, ActionCode::PulseTTL, lineCode, 0);
}

SequenceAction ActionSetAnalog(std::uint32_t tick, std::uint8_t channelCode, std::uint32_t value) {
    const auto device = static_cast<std::uint32_t>(static_cast<double>(value) * 6.5535);
    return Make(tick, ActionCode::SetAnalog, channelCode, device & 0xFFFFu);
}

SequenceAction ActionSetMirrorX(std::uint32_t tick, std::uint16_t position) {
    return Make(tick, ActionCode::SetAnalog, kMirrorXChannel, position);
}

SequenceAction ActionSetMirrorY(std::uint32_t tick, std::uint16_t position) {
    return Make(tick, ActionCode::SetAnalog, kMirrorYChannel, position);
}

SequenceAction ActionWaitTTL(std::uint32_t tick, std::uint8_t inputPort, std::uint8_t trigger) {
    SequenceAction a = Make(tick, ActionCode::WaitTTL, inputPort, 0);
    a.trigger = trigger;
    return a;
}

SequenceAction ActionWaitUser(std::uint32_t tick, std::uint16_t value) {
    return Make(tick, ActionCode::WaitUser, 0, value);
}

SequenceAction ActionJump(std::uint32_t tick, std::uint8_t counter, std::uint32_t target, std::uint32_t count) {
    SequenceAction a = Make(tick, ActionCode::Jump, counter, count);
    a.target = target;
    return a;
}

SequenceAction ActionNOP(std::uint32_t tick) { return Make(tick, ActionCode::NOP, 0, 0); }

}  // namespace korvan::detail
