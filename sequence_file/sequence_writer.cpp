// Writing a sequence file: the inverse of the reader, field for field, so that a file read and
// written back reads the same.
#include <sequence_file/element_table.h>
#include <sequence_file/json_fields.h>
#include <sequence_file/sequence_file.h>

namespace sequence_file {
namespace {

using detail::Json;

Json WriteLaser(const FileLaser& l) {
    Json j = {{"name", l.name}, {"port", detail::NameOf(l.port, detail::LaserPorts())}};
    if (l.switchOnDelay) j["switchOnDelay"] = l.switchOnDelay;
    if (l.switchOffDelay) j["switchOffDelay"] = l.switchOffDelay;
    if (l.intensityDelay) j["intensityDelay"] = l.intensityDelay;
    j["minIntensity"] = l.minIntensity;
    j["maxIntensity"] = l.maxIntensity;
    if (l.pulseFrequency) j["pulseFrequency"] = l.pulseFrequency;
    if (l.warmUpTime) j["warmUpTime"] = l.warmUpTime;
    if (l.activeLevel != 1) j["activeLevel"] = l.activeLevel;
    if (l.stepSize > 0) j["stepSize"] = l.stepSize;
    if (!l.calibrationPath.empty()) j["calibration"] = l.calibrationPath;
    if (!l.color.empty()) j["color"] = l.color;
    return j;
}

Json WriteElement(const SequenceFile& file, const FileElement& item) {
    const SequenceObject& e = *item.element;
    const detail::ElementEntry* entry = detail::EntryOf(korvan::KindOf(e));
    if (entry == nullptr) throw InputError(item.pointer, "an element of no known kind cannot be written");
    Json j = {{"type", entry->name}};
    if (item.hasStart) j["start"] = e.startTick;
    entry->write(e, item, j);
    if (korvan::IsBeamKind(entry->kind)) {
        if (e.repeatCount) j["repeat"] = e.repeatCount;
        Json lasers = Json::array();
        for (int s = 0; s < 4; ++s) {
            const int slot = item.laserSlots[s];
            if (slot < 0 || static_cast<size_t>(slot) >= file.lasers.size()) continue;
            lasers.push_back({{"laser", file.lasers[static_cast<size_t>(slot)].name}, {"intensity", e.intensities[s]}});
        }
        j["lasers"] = lasers;
    }
    return j;
}

}  // namespace

std::string WriteSequenceText(const SequenceFile& file) {
    Json doc = {{"version", 1}, {"tickTime", file.tickTime}};
    if (!file.description.empty()) doc["description"] = file.description;
    if (file.scanMode == ScanModeShort) doc["scanMode"] = "short";
    Json lasers = Json::array();
    for (const FileLaser& l : file.lasers) lasers.push_back(WriteLaser(l));
    doc["lasers"] = lasers;
    Json elements = Json::array();
    for (const FileElement& e : file.elements) elements.push_back(WriteElement(file, e));
    doc["elements"] = elements;
    return doc.dump(2) + "\n";
}

}  // namespace sequence_file
