#include <korvan/sequence/detail/compile_list.h>

#include <korvan/device/detail/port_codes.h>
#include <korvan/device/result_codes.h>
#include <korvan/sequence/detail/compile_element.h>
#include <korvan/sequence/detail/image_writer.h>

#include <algorithm>
#include <array>
#include <string>

namespace korvan::detail {
namespace {

constexpr std::uint64_t kMaxTick = 0xFFFFFFFDu;  // the highest end tick an end record holds

bool IsOutputElement(const SequenceObject* e) { return IsOutputKind(KindOf(*e)); }

/// The port an output element drives, and whether it is an analog channel.
struct OutputTarget {
    unsigned int port = 0;
    bool analog = false;
};
OutputTarget TargetOf(const SequenceSetTTL& e) { return {static_cast<unsigned int>(e.port), false}; }
OutputTarget TargetOf(const SequencePulseTTL& e) { return {static_cast<unsigned int>(e.port), false}; }
OutputTarget TargetOf(const SequenceSetAnalog& e) { return {static_cast<unsigned int>(e.port), true}; }
OutputTarget TargetOf(const SequenceObject&) { return {}; }

struct Entry {
    const SequenceObject* element;
    unsigned int index;  ///< in the caller's array
};

// Ports 2..9, indexed port - 2.
using PortTable = std::array<bool, 8>;

class ListCompiler {
public:
    ListCompiler(const BuildContext& context, SequenceImage& image, PortTable& laserPorts,
                 BuildDiagnostics* diagnostics)
        : context_(context), image_(image), laserPorts_(laserPorts), diagnostics_(diagnostics) {}

    unsigned int CompileMain(const std::vector<Entry>& list) { return Compile(list, true); }
    unsigned int CompileOutputs(const std::vector<Entry>& list) { return Compile(list, false); }

private:
    unsigned int Compile(const std::vector<Entry>& list, bool main);
    unsigned int CheckMain(const SequenceObject& e, std::uint64_t runningEnd);
    unsigned int CheckOutput(const SequenceObject& e);
    /// Records why element `index` fails the build and returns `code`.
    unsigned int Fail(unsigned int code, unsigned int index, const std::string& why) {
        if (diagnostics_ != nullptr && diagnostics_->reason.empty()) {
            diagnostics_->failedIndex = index;
            diagnostics_->reason = why;
        }
        return code;
    }

    const BuildContext& context_;
    SequenceImage& image_;
    PortTable& laserPorts_;
    BuildDiagnostics* diagnostics_;
    unsigned int index_ = 0;
    // Output ports already set at the current tick of the output list.
    PortTable digitalUsed_{};
    PortTable analogUsed_{};
    bool havePrevious_ = false;
    std::uint32_t previousTick_ = 0;
};

unsigned int ListCompiler::CheckMain(const SequenceObject& e, std::uint64_t runningEnd) {
    if (e.startTick < runningEnd)
        return Fail(ResultSequenceInvalid, index_,
                    "starts at tick " + std::to_string(e.startTick) + ", before the previous element ends at " +
                        std::to_string(runningEnd));
    const ElementLasers lasers = LasersOf(e, context_);
    if (lasers.unknown)
        return Fail(ResultSequenceInvalid, index_, "names a laser that is not defined or has no output");
    int pulsed = 0;
    for (int i = 0; i < lasers.count; ++i) {
        laserPorts_[lasers.laser[i]->port - 2] = true;
        if (lasers.laser[i]->IsPulsed()) ++pulsed;
    }
    if (pulsed > 1 || (pulsed == 1 && lasers.count > 1))
        return Fail(ResultSequenceInvalid, index_, "mixes a pulsed laser with other lasers");
    return ResultSuccess;
}

unsigned int ListCompiler::CheckOutput(const SequenceObject& e) {
    if (!havePrevious_ || e.startTick != previousTick_) {
        digitalUsed_ = {};
        analogUsed_ = {};
    }
    havePrevious_ = true;
    previousTick_ = e.startTick;

    const OutputTarget target = VisitElement(e, [](const auto& x) { return TargetOf(x); });
    const unsigned int port = target.port;
    const bool analog = target.analog;
    if (port < 2 || port > 9)
        return Fail(ResultSequenceInvalid, index_, "output port " + std::to_string(port) + " has no line");
    bool& used = (analog ? analogUsed_ : digitalUsed_)[port - 2];
    if (used)
        return Fail(ResultSequenceInvalid, index_,
                    "output port " + std::to_string(port) + " is already set at tick " + std::to_string(e.startTick));
    used = true;
    if (port <= 8 && laserPorts_[port - 2] && !context_.allowLaserPorts)
        return Fail(ResultSequenceInvalid, index_,
                    "output port " + std::to_string(port) + " belongs to a laser of the sequence");
    return ResultSuccess;
}

unsigned int ListCompiler::Compile(const std::vector<Entry>& list, bool main) {
    ListWriter writer(image_.bytes, context_.maxImageLength);
    ElementOutput out;
    std::uint64_t runningEnd = 0;
    for (const Entry& entry : list) {
        const SequenceObject& e = *entry.element;
        index_ = entry.index;
        unsigned int result = main ? CheckMain(e, runningEnd) : CheckOutput(e);
        if (result != ResultSuccess) return result;

        CompileElement(e, context_, out);
        if (out.result != 0) return Fail(out.result, index_, out.reason);
        if (out.duration == 0 && out.illumination == 0)
            return Fail(ResultSequenceInvalid, index_,
                        "yields nothing (no defined laser, no points, or an output, input or trigger it cannot use)");
        if (out.duration > kMaxTick || out.illumination > 0xFFFFFFFFu)
            return Fail(ResultSequenceInvalid, index_, "lasts beyond the device's 32-bit ticks");
        const std::uint64_t plainEnd = e.startTick + out.duration;
        const std::uint64_t end = ElementEndTick(e, out.duration);
        if (diagnostics_ != nullptr && out.clamped.count != 0) diagnostics_->clamped.emplace_back(index_, out.clamped);
        if (diagnostics_ != nullptr)
            diagnostics_->timings[entry.index] = {e.startTick, static_cast<std::uint32_t>(out.duration),
                                                  static_cast<std::uint32_t>(out.illumination), end};

        if (auto* jump = dynamic_cast<const SequenceJump*>(&e)) {
            if (!writer.HasSlot(jump->targetTick)) {
                if ((result = writer.File(ActionNOP(jump->targetTick))) != ResultSuccess)
                    return Fail(result, index_, "its target slot does not fit");
            }
            if (plainEnd <= kMaxTick && end > kMaxTick)
                return Fail(ResultSequenceInvalid, index_, "its repetitions run beyond the device's 32-bit ticks");
        }
        if (end > kMaxTick) return Fail(ResultSequenceInvalid, index_, "ends beyond the device's 32-bit ticks");
        runningEnd = end;

        // Lead before body within a slot: merging the two sorted vectors files the same slots as
        // filing one after the other, but in ascending ticks, which the writer appends cheaply.
        const std::size_t lengthBefore = writer.Length();
        auto lead = out.lead.begin(), body = out.body.begin();
        while (lead != out.lead.end() || body != out.body.end()) {
            const bool fromLead = body == out.body.end() || (lead != out.lead.end() && lead->tick <= body->tick);
            if ((result = writer.File(fromLead ? *lead++ : *body++)) != ResultSuccess)
                return Fail(result, index_,
                            result == ResultMemoryTooSmall ? "the image passes the device's 33,000,000 bytes here"
                                                           : "a slot would hold more than 255 actions");
        }
        if (diagnostics_ != nullptr) diagnostics_->timings[entry.index].imageBytes = writer.Length() - lengthBefore;
    }
    const unsigned int result = writer.Finish(runningEnd);
    if (result == ResultMemoryTooSmall)
        return Fail(result, 0xFFFFFFFFu, "the image passes the device's 33,000,000 bytes");
    if (result != ResultSuccess) return Fail(result, 0xFFFFFFFFu, "a jump has no slot to land on");
    return result;
}

}  // namespace

std::uint64_t ElementEndTick(const SequenceObject& element, std::uint64_t duration) {
    const std::uint64_t end = element.startTick + duration;
    const auto* jump = dynamic_cast<const SequenceJump*>(&element);
    if (jump == nullptr || jump->repeatCount == 0 || jump->targetTick > element.startTick) return end;
    // The loop body runs once more per jump; saturates instead of wrapping, so that a loop beyond
    // the device's ticks is caught however far beyond it runs.
    const std::uint64_t body = element.startTick - std::uint64_t{jump->targetTick} + duration;
    const std::uint64_t repeats = jump->repeatCount;
    if (body > (UINT64_MAX - end) / repeats) return UINT64_MAX;
    return end + body * repeats;
}

unsigned int BuildSequenceImage(const BuildContext& context, const SequenceObject* const* elements, unsigned int count,
                                SequenceImage* image, BuildDiagnostics* diagnostics) {
    if (diagnostics != nullptr) *diagnostics = BuildDiagnostics{};
    if (elements == nullptr || image == nullptr) {
        if (diagnostics != nullptr) diagnostics->reason = "no element array";
        return ResultInvalidArgument;
    }
    image->bytes.clear();
    image->mainLength = 0;
    if (diagnostics != nullptr) diagnostics->timings.assign(count, ElementTiming{});

    std::vector<Entry> mainList, outputList;
    mainList.reserve(count);
    for (unsigned int i = 0; i < count; ++i) {
        if (elements[i] == nullptr) {
            if (diagnostics != nullptr) {
                diagnostics->failedIndex = i;
                diagnostics->reason = "is null";
            }
            return ResultInvalidArgument;
        }
        (IsOutputElement(elements[i]) ? outputList : mainList).push_back({elements[i], i});
    }
    const auto byStart = [](const Entry& a, const Entry& b) { return a.element->startTick < b.element->startTick; };
    for (auto* list : {&mainList, &outputList})
        if (!std::is_sorted(list->begin(), list->end(), byStart)) std::stable_sort(list->begin(), list->end(), byStart);

    PortTable laserPorts{};
    ListCompiler compiler(context, *image, laserPorts, diagnostics);
    unsigned int result = compiler.CompileMain(mainList);
    if (result == ResultSuccess) {
        image->mainLength = static_cast<std::uint32_t>(image->bytes.size());
        result = compiler.CompileOutputs(outputList);
    }
    if (result != ResultSuccess) {
        image->bytes.clear();
        image->bytes.shrink_to_fit();
        image->mainLength = 0;
    }
    return result;
}

unsigned int TimeElement(const BuildContext& context, const SequenceObject& element, unsigned int* duration,
                         unsigned int* illumination) {
    if (duration == nullptr || illumination == nullptr) return ResultInvalidArgument;
    *duration = 0;
    *illumination = 0;
    ElementOutput out;
    out.timingOnly = true;
    CompileElement(element, context, out);
    if (out.duration > 0xFFFFFFFFu || out.illumination > 0xFFFFFFFFu) return ResultSequenceInvalid;
    *duration = static_cast<unsigned int>(out.duration);
    *illumination = static_cast<unsigned int>(out.illumination);
    return *duration == 0 && *illumination == 0 ? ResultInvalidArgument : ResultSuccess;
}

}  // namespace korvan::detail
