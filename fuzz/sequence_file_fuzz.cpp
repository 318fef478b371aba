// Sequence files: parse and check; what passes is written back and read again (it must read), then
// laid out and compiled offline. Faults in a file must come back as InputError, never as another
// exception or a crash.
#include "fuzz_file.h"

#include <sequence_file/compiled_sequence.h>
#include <sequence_file/sequence_file.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>

namespace {

// Calibration paths are read during parsing. Only names inside the scratch folder are let
// through, so no input can make the harness read a device node or any other file of the machine.
bool ReachesOutside(const nlohmann::json& j) {
    if (j.is_string()) {
        const auto& s = j.get_ref<const std::string&>();
        return s.find('/') != std::string::npos || s.find('\\') != std::string::npos;
    }
    if (j.is_structured())
        for (auto it = j.begin(); it != j.end(); ++it) {
            if (j.is_object() && it.key().find('/') != std::string::npos) return true;
            if (ReachesOutside(*it)) return true;
        }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = [] {
        std::string dir = fuzz::ScratchPath("_dir");
        mkdir(dir.c_str(), 0700);
        return dir;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto probe = nlohmann::json::parse(text, nullptr, false);
    if (!probe.is_discarded() && ReachesOutside(probe)) return 0;

    sequence_file::SequenceFile file;
    try {
        file = sequence_file::ParseSequenceText(text, folder);
    } catch (const sequence_file::InputError&) {
        return 0;
    }
    // What passes must read back the same once written, and is laid out and compiled offline.
    sequence_file::SequenceFile again;
    try {
        again = sequence_file::ParseSequenceText(sequence_file::WriteSequenceText(file), folder);
    } catch (const sequence_file::InputError&) {
        __builtin_trap();  // the writer wrote what the reader refuses
    }
    if (again.elements.size() != file.elements.size() || again.lasers.size() != file.lasers.size()) __builtin_trap();
    try {
        sequence_file::CompiledSequence compiled(std::move(file));
    } catch (const sequence_file::InputError&) {  // laying out starts and jump targets reports faults so
    }
    return 0;
}
