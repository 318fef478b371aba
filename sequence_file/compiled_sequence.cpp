#include <sequence_file/compiled_sequence.h>

#include <sequence_file/element_table.h>
#include <sequence_file/json_fields.h>

#include <algorithm>
#include <climits>

namespace sequence_file {

using detail::Fail;

namespace {

const char* const kPalette[] = {"#1f6fd1", "#d62728", "#2ca02c", "#9467bd"};

// The compiler names outputs by number ("output port 2"); the file names them as its user wrote
// them ("laser1"), and says which of the file's lasers holds a port an output element wants.
std::string InFileWords(std::string reason, const SequenceFile& file) {
    const std::string numbered = "output port ";
    const size_t at = reason.find(numbered);
    if (at == std::string::npos) return reason;
    size_t end = at + numbered.size();
    while (end < reason.size() && reason[end] >= '0' && reason[end] <= '9') ++end;
    if (end == at + numbered.size()) return reason;
    const auto port = static_cast<OutputPorts>(std::stoul(reason.substr(at + numbered.size(), end - at)));
    const char* name = detail::NameOf(port, detail::SwitchPorts());
    if (*name == 0) return reason;
    if (reason.find("belongs to a laser", end) != std::string::npos)
        for (const FileLaser& laser : file.lasers)
            if (laser.port == port) return std::string(name) + " is used by laser \"" + laser.name + "\"";
    return reason.replace(at, end - at, name);
}

}  // namespace

LaserSettings FileLaser::Settings() const {
    return {port,         switchOnDelay,  switchOffDelay, intensityDelay, minIntensity,
            maxIntensity, pulseFrequency, activeLevel,    warmUpTime};
}

std::vector<Laser> LasersOf(const SequenceFile& file) {
    std::vector<Laser> lasers;
    for (size_t i = 0; i < file.lasers.size(); ++i) {
        const FileLaser& s = file.lasers[i];
        Laser l(s.Settings());
        l.id = static_cast<unsigned int>(i + 1);
        // The file's own calibration, points as loaded (a copy through Clone would truncate them).
        if (s.calibration) *l.calibration = *s.calibration;
        if (s.stepSize > 0) l.calibration->scanStepSize = static_cast<unsigned int>(s.stepSize);
        lasers.push_back(std::move(l));
    }
    return lasers;
}

std::vector<SequenceElementTiming> LayOut(SequenceFile& file, const korvan::SequenceSettings& settings,
                                          unsigned int gap) {
    std::vector<SequenceElementTiming> timing(file.elements.size());
    unsigned long long end = 0;  // where the next element without a start begins
    for (size_t i = 0; i < file.elements.size(); ++i) {
        FileElement& e = file.elements[i];
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
        if (!e.isOutput) end = std::max(end, timing[i].endTick + gap);
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
    if (analysis.result == 0) {
        // The compiler moves such a position onto the field's edge and lights it there; a file
        // asks for the beam where it says, so that is a fault here.
        if (analysis.clampedPositions.empty()) return std::nullopt;
        const ClampedPosition& first = analysis.clampedPositions.front();
        std::string text = korvan::DescribeClampedPosition(first);
        text = text.substr(text.find(": ") + 2);
        const auto index = static_cast<size_t>(first.element);
        return InputError(index < file.elements.size() ? file.elements[index].pointer : "", "device " + text);
    }
    std::string reason =
        analysis.reason.empty() ? KorvanResultText(analysis.result) : InFileWords(analysis.reason, file);
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
