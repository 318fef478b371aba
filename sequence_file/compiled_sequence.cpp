#include <sequence_file/compiled_sequence.h>

#include <sequence_file/json_fields.h>

#include <algorithm>
#include <climits>

namespace sequence_file {

using detail::Fail;

namespace {

const char* const kPalette[] = {"#1f6fd1", "#d62728", "#2ca02c", "#9467bd"};

}  // namespace

const char* ResultName(unsigned int result) {
    switch (result) {
    case korvan::ResultSuccess: return "success";
    case korvan::ResultCommunicationError: return "communication failure or no connection";
    case korvan::ResultInvalidArgument: return "invalid argument";
    case korvan::ResultMemoryTooSmall: return "device memory too small";
    case korvan::ResultSequenceInvalid: return "the sequence failed the compiler's checks";
    case korvan::ResultNotPossibleNow: return "not possible in the device's state";
    }
    return "unknown result";
}

std::vector<Laser> LasersOf(const SequenceFile& file) {
    std::vector<Laser> lasers;
    for (size_t i = 0; i < file.lasers.size(); ++i) {
        const LaserSpec& s = file.lasers[i];
        Laser l;
        l.id = static_cast<unsigned int>(i + 1);
        l.port = s.port;
        l.switchOnDelay = s.switchOnDelay;
        l.switchOffDelay = s.switchOffDelay;
        l.intensityDelay = s.intensityDelay;
        l.minIntensity = s.minIntensity;
        l.maxIntensity = s.maxIntensity;
        l.pulseFrequency = s.pulseFrequency;
        l.warmUpTime = s.warmUpTime;
        l.activeLevel = s.activeLevel;
        // The file's own calibration, points as loaded (a copy through Clone would truncate them).
        if (s.calibration) *l.calibration = *s.calibration;
        if (s.stepSize > 0) l.calibration->scanStepSize = static_cast<unsigned int>(s.stepSize);
        lasers.push_back(std::move(l));
    }
    return lasers;
}

std::vector<SequenceElementTiming> LayOut(SequenceFile& file, const korvan::SequenceSettings& settings) {
    std::vector<SequenceElementTiming> timing(file.elements.size());
    unsigned long long end = 0;  // where the next element without a start begins
    for (size_t i = 0; i < file.elements.size(); ++i) {
        ElementSpec& e = file.elements[i];
        if (e.targetElement >= 0) {
            if (static_cast<size_t>(e.targetElement) >= i)
                Fail(e.pointer + "/targetElement", "a jump goes back to an earlier element; element " +
                                                       std::to_string(e.targetElement) + " does not come before it");
            static_cast<SequenceJump&>(*e.element).targetTick =
                file.elements[static_cast<size_t>(e.targetElement)].element->startTick;
        }
        if (!e.hasStart) {
            if (end > UINT_MAX)
                Fail(e.pointer, "would start at tick " + std::to_string(end) + ", beyond the device's 32-bit ticks");
            e.element->startTick = static_cast<unsigned int>(end);
        }
        if (auto* jump = dynamic_cast<SequenceJump*>(e.element.get()); jump && jump->targetTick > jump->startTick)
            Fail(e.pointer + (e.targetElement >= 0 ? "/targetElement" : "/target"),
                 "a jump goes back: its target tick " + std::to_string(jump->targetTick) + " lies after its start " +
                     std::to_string(jump->startTick));
        korvan::TimeSequenceElement(*e.element, settings, &timing[i]);
        if (!e.isOutput) end = std::max(end, timing[i].endTick);
    }
    return timing;
}

CompiledSequence::CompiledSequence(SequenceFile f) : file(std::move(f)), lasers(LasersOf(file)) {
    std::vector<unsigned int> ids;
    for (const Laser& l : lasers) ids.push_back(l.id);
    AssignLaserIds(file, ids);
    const korvan::SequenceSettings settings = Settings();
    layout = LayOut(file, settings);
    for (const auto& t : layout) endTick = std::max(endTick, t.endTick);
    const std::vector<SequenceObject*> elements = file.Pointers();
    analysis = korvan::CompileSequence(elements.data(), static_cast<unsigned int>(elements.size()), settings);
}

korvan::SequenceSettings CompiledSequence::Settings() const {
    korvan::SequenceSettings s;
    s.tickTime = file.tickTime;
    s.scanMode = file.scanMode;
    s.lasers = lasers.data();
    s.laserCount = static_cast<unsigned int>(lasers.size());
    return s;
}

std::optional<InputError> CompiledSequence::Failure() const {
    if (analysis.result == 0) return std::nullopt;
    std::string reason = analysis.reason.empty() ? ResultName(analysis.result) : analysis.reason;
    if (analysis.failedElement >= 0 && static_cast<size_t>(analysis.failedElement) < file.elements.size())
        return InputError(file.elements[static_cast<size_t>(analysis.failedElement)].pointer, reason);
    return InputError("", reason);
}

void CompiledSequence::ThrowIfFailed() const {
    if (auto failure = Failure()) throw *failure;
}

std::vector<PreviewLaser> CompiledSequence::PreviewLasers() const {
    std::vector<PreviewLaser> out = PreviewLasersOf(lasers.data(), static_cast<unsigned int>(lasers.size()));
    for (size_t i = 0; i < out.size() && i < file.lasers.size(); ++i) {
        out[i].name = file.lasers[i].name;
        if (!file.lasers[i].color.empty()) out[i].color = file.lasers[i].color;
    }
    return out;
}

std::vector<PreviewLaser> PreviewLasersOf(const Laser* lasers, unsigned int count) {
    std::vector<PreviewLaser> out;
    for (unsigned int i = 0; i < count && lasers != nullptr; ++i) {
        PreviewLaser p;
        p.name = "laser " + std::to_string(lasers[i].id);
        p.color = kPalette[i % 4];
        p.port = lasers[i].port;
        p.onLevel = lasers[i].OnLevel();
        p.offLevel = lasers[i].OffLevel();
        p.intensityControlled = lasers[i].CanChangeIntensity() != 0;
        out.push_back(p);
    }
    return out;
}

}  // namespace sequence_file
