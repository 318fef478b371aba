// korvan list: the serial ports and the identity of every device that answers on them.
#include "tools/commands/command.h"
#include "tools/discovery.h"
#include "tools/report.h"

#include <cstdio>

namespace tools {
namespace {

constexpr int kProbeTimeoutMs = 500;

struct Options {
    bool json = false;
};

int Run(const Options& o) {
    const std::vector<std::string> ports = ListPorts();
    nlohmann::json found = nlohmann::json::array();
    if (!o.json) std::printf("%zu port(s)\n", ports.size());
    int devices = 0;
    const std::vector<std::optional<FoundDevice>> identities = IdentifyAll(ports, kProbeTimeoutMs);
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string& port = ports[i];
        const bool answered = identities[i].has_value();
        const FoundDevice d = identities[i].value_or(FoundDevice{});
        if (answered) ++devices;
        if (o.json) {
            nlohmann::json entry = {{"port", port}, {"device", answered}};
            if (answered)
                entry.update({{"serial", d.serial},
                              {"description", d.description},
                              {"type", d.deviceType},
                              {"subType", d.subType},
                              {"revision", d.revision},
                              {"firmware", d.firmware},
                              {"bootloader", d.bootloader},
                              {"maxBaud", d.maxBaud},
                              {"baud", d.baud},
                              {"programMode", d.inProgramMode}});
            found.push_back(entry);
        } else if (answered) {
            std::printf("%-12s serial %-10s firmware %-3d %s%s\n", port.c_str(), d.serial.c_str(), d.firmware,
                        d.description.c_str(), d.inProgramMode ? " (programming mode)" : "");
            if (const std::string note = LeftRaisedNote(d); !note.empty()) std::printf("%-12s %s\n", "", note.c_str());
        } else {
            std::printf("%-12s no device answered\n", port.c_str());
        }
    }
    if (o.json)
        PrintJson({{"ok", true}, {"ports", found}});
    else
        std::printf("%d device(s)\n", devices);
    return kExitDone;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.add_flag("--json", o->json, "print the result as JSON");
    return [o] { return Guarded("list", "", o->json, [o] { return Run(*o); }); };
}

}  // namespace

const Command kListCommand = {
    "list",
    "List the serial ports and the identity of each device found on them (TESSEL_EXTRA_PORTS adds "
    "ports such as a korvan-sim's; TESSEL_NO_HARDWARE_PORTS=1 leaves the machine's own ports out).",
    Setup};

}  // namespace tools
