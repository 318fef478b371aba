#include <sim/image/executor.h>

#include <algorithm>
#include <limits>

namespace sim::image {

Executor::Executor(std::shared_ptr<const DecodedImage> image, const StartParams& params, Timeline* timeline,
                   OutputSink* sink)
    : image_(std::move(image)), params_(params), timeline_(timeline), sink_(sink) {
    lists_[0].list = &image_->main;
    lists_[0].id = ListId::Main;
    lists_[1].list = &image_->output;
    lists_[1].id = ListId::Output;
    if (params_.input > 3) {
        BeginRun(0);
        return;
    }
    record(0, Event::WaitInput, ListId::None, params_.input, params_.trigger);
    heldSinceUs_ = 0;
    waitPort_ = params_.input;
    waitTrigger_ = params_.trigger;
    phase_ = Phase::Armed;
    if (InputSatisfied(waitPort_, waitTrigger_)) release(0);
}

bool Executor::InputSatisfied(uint8_t port, uint8_t trigger) const {
    const bool high = params_.inputs[port & 3];
    return trigger == 2 ? !high : high;
}

// A slot whose time has already passed runs at once: an image whose ticks after a loop do not
// count the loop's repetitions would otherwise make the device's time run backwards.
uint64_t Executor::DueUs(const ListState& l) const {
    const uint64_t tick = l.slot < l.list->slots.size() ? l.list->slots[l.slot].tick : l.list->EndSlotTick();
    return std::max(nowUs_, baseUs_ + (tick + l.offsetTicks) * params_.tickTimeUs);
}

const Executor::ListState* Executor::NextList() const {
    const ListState* best = nullptr;
    for (const ListState& l : lists_) {
        if (!l.ended && (best == nullptr || DueUs(l) < DueUs(*best))) best = &l;
    }
    return best;
}

bool Executor::Advance(uint64_t nowUs, size_t maxSlots) {
    size_t done = 0;
    while (phase_ == Phase::Running) {
        ListState& l = lists_[static_cast<size_t>(NextList() - lists_.data())];
        const uint64_t due = DueUs(l);
        if (due > nowUs) return false;
        if (done == maxSlots) return true;
        RunSlot(l, due);
        ++done;
    }
    return false;
}

std::optional<uint64_t> Executor::NextDueUs() const {
    if (phase_ != Phase::Running) return std::nullopt;
    return DueUs(*NextList());
}

void Executor::RunSlot(ListState& l, uint64_t at) {
    nowUs_ = at;
    const ActionList& list = *l.list;
    if (l.slot == list.slots.size()) {
        l.ended = true;
        record(at, Event::ListEnd, l.id, 0, list.endTick);
        if (!lists_[0].ended || !lists_[1].ended) return;
        record(at, Event::RunEnd, ListId::None, params_.sequenceNumber, run_);
        ++runsEnded_;
        if (params_.runs == 0 || run_ < params_.runs)
            BeginRun(at);
        else
            phase_ = Phase::Ended;
        return;
    }
    const Slot& slot = list.slots[l.slot];
    while (l.action < slot.actionCount) {
        const Action& a = list.actions[slot.firstAction + l.action];
        ++l.action;
        switch (a.op) {
        case Op::SetLine:
            if (sink_) sink_->SetLine(a.channel, a.level);
            record(at, Event::Line, l.id, a.channel, a.level);
            break;
        case Op::PulseLine:
            if (sink_) sink_->PulseLine(a.channel);
            record(at, Event::Pulse, l.id, a.channel, 0);
            break;
        case Op::SetAnalog: {
            if (sink_) sink_->SetAnalog(a.channel, static_cast<uint16_t>(a.value));
            const Event e = a.channel == 2 ? Event::MirrorX : a.channel == 3 ? Event::MirrorY : Event::Analog;
            record(at, e, l.id, a.channel, a.value);
            break;
        }
        case Op::WaitInput:
            record(at, Event::WaitInput, l.id, a.channel, a.level);
            waitPort_ = a.channel;
            waitTrigger_ = a.level;
            heldSinceUs_ = at;
            waitingList_ = l.id;
            if (InputSatisfied(a.channel, a.level)) {
                record(at, Event::WaitReleased, l.id, a.channel, 0);
                break;
            }
            phase_ = Phase::WaitingInput;
            return;
        case Op::WaitUser:
            record(at, Event::WaitUser, l.id, 0, a.value);
            heldSinceUs_ = at;
            waitingList_ = l.id;
            phase_ = Phase::WaitingUser;
            return;
        case Op::Jump: {
            Counter& c = l.counters[a.channel];
            if (!c.loaded) {
                c.loaded = true;
                c.remaining = a.value;
            }
            if (c.remaining > 0) {
                --c.remaining;
                const Slot& target = list.slots[a.targetSlot];
                const uint64_t pass = uint64_t{slot.tick} + 1 - target.tick;
                c.offsetTicks += pass;
                l.offsetTicks += pass;
                record(at, Event::Jump, l.id, a.channel, target.tick);
                l.slot = a.targetSlot;
                l.action = 0;
                return;
            }
            l.offsetTicks -= c.offsetTicks;
            c = Counter{};
            break;
        }
        case Op::Nop:
        case Op::End: break;
        }
    }
    ++l.slot;
    l.action = 0;
}

void Executor::release(uint64_t at) {
    at = std::max({at, nowUs_, heldSinceUs_});
    const uint64_t held = at - heldSinceUs_;
    const bool user = phase_ == Phase::WaitingUser;
    record(at, Event::WaitReleased, waitingList_, user ? 255 : waitPort_,
           static_cast<uint32_t>(std::min<uint64_t>(held, std::numeric_limits<uint32_t>::max())));
    nowUs_ = at;
    if (phase_ == Phase::Armed) {
        BeginRun(at);
        return;
    }
    baseUs_ += held;
    phase_ = Phase::Running;
}

void Executor::SetInput(int port, bool high, uint64_t nowUs) {
    if (port < 0 || port > 3) return;
    params_.inputs[static_cast<size_t>(port)] = high;
    if ((phase_ == Phase::Armed || phase_ == Phase::WaitingInput) && port == waitPort_ &&
        InputSatisfied(waitPort_, waitTrigger_))
        release(nowUs);
}

bool Executor::AcknowledgeUser(uint64_t nowUs) {
    if (phase_ != Phase::WaitingUser) return false;
    release(nowUs);
    return true;
}

void Executor::Stop(uint64_t nowUs) {
    if (phase_ == Phase::Ended) return;
    nowUs_ = std::max(nowUs, nowUs_);
    record(nowUs_, Event::Stop, ListId::None, params_.sequenceNumber, run_);
    phase_ = Phase::Ended;
}

void Executor::BeginRun(uint64_t at) {
    ++run_;
    baseUs_ = at;
    nowUs_ = at;
    for (ListState& l : lists_) {
        l.slot = 0;
        l.action = 0;
        l.offsetTicks = 0;
        l.counters.fill(Counter{});
        l.ended = false;
    }
    phase_ = Phase::Running;
    record(at, Event::RunStart, ListId::None, params_.sequenceNumber, run_);
}

void Executor::record(uint64_t at, Event event, ListId list, uint16_t channel, uint32_t value) {
    if (timeline_) timeline_->Add(Record{at, event, list, channel, value});
}

}  // namespace sim::image
