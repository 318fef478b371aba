// Sequence files of the command-line tool: parse and check; what passes is given to a Korvan
// object (lasers defined, start ticks laid out, analysed) without a device. Faults in a file must
// come back as InputError, never as another exception or a crash.
#include "fuzz_file.h"

#include <tools/sequence_file.h>

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

    tools::SequenceFile file;
    try {
        file = tools::ParseSequenceText(text, folder);
    } catch (const tools::InputError&) {
        return 0;
    }
    Korvan korvan;
    std::vector<unsigned int> ids;
    std::string failed;
    if (tools::DefineLasers(korvan, file, &ids, &failed) == 0) {
        try {  // laying out starts and jump targets reports its faults as InputError too
            const auto timing = tools::Schedule(korvan, file);
            tools::EndTick(file, timing);
            auto elements = file.Pointers();
            unsigned int bytes = 0;
            korvan.CalcMemoryUsage(elements.data(), static_cast<unsigned>(elements.size()), &bytes);
        } catch (const tools::InputError&) {
        }
    }
    tools::RemoveLasers(korvan, ids);
    return 0;
}
