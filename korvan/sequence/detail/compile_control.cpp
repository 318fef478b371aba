// Output, wait and jump elements: one action each, at the element's start, lasting one tick.
#include <korvan/sequence/detail/compile_element.h>

#include <korvan/device/detail/port_codes.h>

namespace korvan::detail {
namespace {

void Single(ElementOutput& out, const SequenceAction& action) {
    out.body.push_back(action);
    out.duration = 1;
    out.illumination = 1;
}

}  // namespace

void CompileKind(const SequenceSetTTL& e, const BuildContext&, ElementOutput& out) {
    const auto line = DigitalLineCode(e.port);
    if (!line) return;
    Single(out, ActionSetTTL(e.startTick, *line, static_cast<std::uint8_t>(e.value)));
}

void CompileKind(const SequencePulseTTL& e, const BuildContext&, ElementOutput& out) {
    const auto line = DigitalLineCode(e.port);
    if (!line) return;
    Single(out, ActionPulseTTL(e.startTick, *line));
}

void CompileKind(const SequenceSetAnalog& e, const BuildContext&, ElementOutput& out) {
    if (e.port < LaserOutput1 || e.port > LaserOutput4) return;
    // Above full scale the device value would wrap and drive the output low instead.
    if (e.intensities[0] > 10000) {
        out.Fail(ResultSequenceInvalid, "analog value above 10000");
        return;
    }
    Single(out, ActionSetAnalog(e.startTick, *AnalogChannelCode(e.port), e.intensities[0]));
}

void CompileKind(const SequenceWaitTTL& e, const BuildContext&, ElementOutput& out) {
    if (e.port > Input1 || (e.trigger != Trigger1 && e.trigger != Trigger2)) return;
    Single(out, ActionWaitTTL(e.startTick, static_cast<std::uint8_t>(e.port), static_cast<std::uint8_t>(e.trigger)));
}

void CompileKind(const SequenceWaitUser& e, const BuildContext&, ElementOutput& out) {
    Single(out, ActionWaitUser(e.startTick, e.value));
}

void CompileKind(const SequenceJump& e, const BuildContext&, ElementOutput& out) {
    // Counter 1 belongs to the loops inside points and lines; a forward jump has no loop to repeat.
    if (e.counter < 2 || e.targetTick > e.startTick) {
        out.Fail(ResultSequenceInvalid, "jump counter below 2, or a target after the jump");
        return;
    }
    Single(out, ActionJump(e.startTick, e.counter, e.targetTick, e.repeatCount));
}

}  // namespace korvan::detail
