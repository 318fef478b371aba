// The device's own reading of a sequence image. It shares no code with the host's encoder, so
// a fault on either side shows up as a refused image rather than being mirrored.
#include <sim/image/decoded_image.h>

#include <algorithm>

namespace sim::image {

bool IsDigitalLine(uint8_t code) { return code <= 1 || (code >= 6 && code <= 9); }
bool IsAnalogChannel(uint8_t code) { return code >= 2 && code <= 7; }

namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

size_t ActionLength(uint8_t code) {
    switch (static_cast<Op>(code)) {
    case Op::WaitInput:
    case Op::WaitUser:
    case Op::SetLine: return 3;
    case Op::PulseLine: return 2;
    case Op::SetAnalog: return 4;
    case Op::Jump: return 14;
    case Op::Nop:
    case Op::End: return 1;
    }
    return 0;
}

class ListDecoder {
public:
    ListDecoder(const uint8_t* bytes, size_t length, size_t base, const char* name)
        : p_(bytes), n_(length), base_(base), name_(name) {}

    bool Decode(ActionList* list) {
        size_t offset = 0;
        for (;;) {
            if (n_ - offset < 5)
                return fail(offset, offset == n_ ? "ends without an end record" : "has a record cut short");
            const uint32_t field = Be32(p_ + offset);
            if (field == 0) return fail(offset, "has a slot with tick field 0");
            const uint32_t tick = field - 1;
            if (!list->slots.empty() && tick <= list->slots.back().tick)
                return fail(offset, "has slot tick " + std::to_string(tick) + " after tick " +
                                        std::to_string(list->slots.back().tick));
            const uint8_t count = p_[offset + 4];
            const size_t body = offset + 5;
            if (count == 1 && body < n_ && p_[body] == static_cast<uint8_t>(Op::End)) {
                if (tick == 0) return fail(offset, "has an end record at tick 0");
                list->endTick = tick - 1;
                if (body + 1 != n_)
                    return fail(body + 1, "has " + std::to_string(n_ - body - 1) + " bytes after its end record");
                return fixJumps(list);
            }
            Slot slot{tick, static_cast<uint32_t>(list->actions.size()), count};
            size_t pos = body;
            for (unsigned i = 0; i < count; ++i) {
                if (pos >= n_) return fail(offset, "has a slot with fewer actions than its count");
                Action action;
                if (!decodeAction(pos, offset, list->actions.size(), &action)) return false;
                list->actions.push_back(action);
                pos += ActionLength(p_[pos]);
            }
            list->slots.push_back(slot);
            slotOffsets_.push_back(offset);
            offset = pos;
        }
    }

    const std::string& Error() const { return error_; }

private:
    struct PendingJump {
        size_t action;
        size_t slot;
        int64_t target;  // byte offset in the list
        size_t at;       // byte offset of the jump, for the message
    };

    bool decodeAction(size_t pos, size_t slotOffset, size_t index, Action* a) {
        const uint8_t code = p_[pos];
        const size_t length = ActionLength(code);
        if (length == 0) return fail(pos, "has unknown action code " + std::to_string(code));
        if (n_ - pos < length) return fail(pos, "has an action cut short");
        const uint8_t* q = p_ + pos;
        a->op = static_cast<Op>(code);
        switch (a->op) {
        case Op::WaitInput:
            a->channel = q[1];
            a->level = q[2];
            if (a->channel > 3) return fail(pos, "waits for unknown input " + std::to_string(a->channel));
            if (a->level != 1 && a->level != 2)
                return fail(pos, "waits with unknown trigger " + std::to_string(a->level));
            break;
        case Op::WaitUser: a->value = Be16(q + 1); break;
        case Op::SetLine:
        case Op::PulseLine:
            a->channel = q[1];
            a->level = a->op == Op::SetLine ? q[2] : 0;
            if (!IsDigitalLine(a->channel))
                return fail(pos, "addresses unknown digital line " + std::to_string(a->channel));
            break;
        case Op::SetAnalog:
            a->channel = q[1];
            a->value = Be16(q + 2);
            if (!IsAnalogChannel(a->channel))
                return fail(pos, "addresses unknown analog channel " + std::to_string(a->channel));
            break;
        case Op::Jump: {
            a->value = Be32(q + 1);
            if (Be32(q + 5) != a->value) return fail(pos, "has a jump whose two counts differ");
            const int32_t distance = static_cast<int32_t>(Be32(q + 9));
            a->channel = q[13];
            jumps_.push_back({index, slotOffsets_.size(), int64_t(slotOffset) + distance, pos});
            break;
        }
        case Op::Nop: break;
        case Op::End: return fail(pos, "has an end action outside its end record");
        }
        return true;
    }

    bool fixJumps(ActionList* list) {
        for (const PendingJump& j : jumps_) {
            auto it = std::lower_bound(slotOffsets_.begin(), slotOffsets_.end(), j.target);
            if (j.target < 0 || it == slotOffsets_.end() || int64_t(*it) != j.target)
                return fail(j.at, "has a jump that does not land on a slot record of its list");
            const size_t target = static_cast<size_t>(it - slotOffsets_.begin());
            if (list->slots[target].tick > list->slots[j.slot].tick) return fail(j.at, "has a forward jump");
            list->actions[j.action].targetSlot = static_cast<uint32_t>(target);
        }
        return true;
    }

    bool fail(size_t offset, const std::string& what) {
        error_ = std::string(name_) + " list " + what + " (image byte " + std::to_string(base_ + offset) + ")";
        return false;
    }

    const uint8_t* p_;
    size_t n_;
    size_t base_;
    const char* name_;
    std::vector<size_t> slotOffsets_;
    std::vector<PendingJump> jumps_;
    std::string error_;
};

}  // namespace

DecodeResult DecodeImage(const uint8_t* bytes, size_t length, size_t mainLength) {
    DecodeResult result;
    if (mainLength > length) {
        result.error =
            "main list length " + std::to_string(mainLength) + " exceeds the image length " + std::to_string(length);
        return result;
    }
    ListDecoder main(bytes, mainLength, 0, "main");
    if (!main.Decode(&result.image.main)) {
        result.error = main.Error();
        return result;
    }
    ListDecoder output(bytes + mainLength, length - mainLength, mainLength, "output");
    if (!output.Decode(&result.image.output)) result.error = output.Error();
    return result;
}

}  // namespace sim::image
