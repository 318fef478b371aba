// Port names and friendly names through enumeration and its name filter: the machine scan (through
// the test seam) and TESSEL_EXTRA_PORTS both come from the input. Nothing is opened.
//
// Input: lines. The first is the filter; after it, lines go to the friendly names, the fallback
// names, the console names and the extra-ports variable by their first character's value mod 4.
#include <tessel/serial/detail/port_enumeration.h>
#include <tessel/serial/rs232.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

tessel::detail::PortCandidates g_candidates;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    unsetenv("TESSEL_NO_HARDWARE_PORTS");  // the seam stands in for the hardware pass
    tessel::detail::SetPortScannerForTesting([] { return g_candidates; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    g_candidates = {};
    std::string extra;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        switch (line.empty() ? 0 : static_cast<unsigned char>(line[0]) % 4) {
        case 0: g_candidates.friendlyNames.push_back(line); break;
        case 1: g_candidates.fallbackNames.push_back(line); break;
        case 2:
            // A machine has one active console, rarely a few; thousands of them only make every
            // candidate's path resolution run thousands of times.
            if (g_candidates.consoles.size() < 4) g_candidates.consoles.push_back(line);
            break;
        default: extra += (extra.empty() ? "" : ":") + line; break;
        }
    }
    setenv("TESSEL_EXTRA_PORTS", extra.c_str(), 1);

    std::string filter = lines[0];
    const auto names = tessel::detail::EnumeratePorts(filter.c_str());
    for (const std::string& name : names) {
        if (name.empty()) __builtin_trap();
        for (const std::string& console : g_candidates.consoles)
            if (name == console) __builtin_trap();  // the console is never offered
    }
    RS232 port;
    char** ports = nullptr;
    int count = 0;
    port.GetSpecificCOMPorts(&ports, &count, filter.empty() ? nullptr : filter.data());
    if (ports) {
        for (int i = 0; i < count; ++i) port.FreeRS232Memory(ports[i]);
        port.FreeRS232Memory(ports);
    }
    return 0;
}
