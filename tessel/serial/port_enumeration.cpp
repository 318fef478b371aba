#include <tessel/serial/detail/port_enumeration.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <regex>
#include <sstream>

namespace tessel::detail {
namespace {

std::mutex& ScannerMutex() {
    static std::mutex mutex;
    return mutex;
}

PortScanner& Scanner() {
    static PortScanner scanner;
    return scanner;
}

bool EnvironmentFlag(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

std::vector<std::string> ExtraPortNames() {
    std::vector<std::string> names;
    const char* value = std::getenv("TESSEL_EXTRA_PORTS");
    if (value == nullptr) return names;
    std::stringstream stream(value);
    std::string item;
    while (std::getline(stream, item, ':')) {
        if (!item.empty()) names.push_back(item);
    }
    return names;
}

// "ttyS0", "/dev/ttyS0", "/dev/./ttyS0" and a link to it all name the same port. Only paths are
// looked at (nothing is opened), so this is safe on the console itself.
std::string BareName(const std::string& name) {
    namespace fs = std::filesystem;
    if (name.empty()) return name;
    fs::path path = name[0] == '/' ? fs::path(name) : fs::path("/dev") / name;
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    std::string full = (ec ? path.lexically_normal() : resolved).string();
    return full.rfind("/dev/", 0) == 0 ? full.substr(5) : full;
}

bool IsConsole(const std::string& name, const std::vector<std::string>& consoles) {
    std::string bare = BareName(name);
    if (bare == "console") return true;  // /dev/console is whichever console is active
    return std::any_of(consoles.begin(), consoles.end(),
                       [&](const std::string& c) { return BareName(c) == bare; });
}

}  // namespace

void SetPortScannerForTesting(PortScanner scanner) {
    std::lock_guard<std::mutex> lock(ScannerMutex());
    Scanner() = std::move(scanner);
}

std::vector<std::string> EnumeratePorts(const char* filter) {
    PortCandidates candidates;
    {
        std::lock_guard<std::mutex> lock(ScannerMutex());
        candidates = Scanner() ? Scanner()() : ScanSerialPorts();
    }
    const bool hardware = !EnvironmentFlag("TESSEL_NO_HARDWARE_PORTS");
    if (!hardware) {
        candidates.friendlyNames.clear();
        candidates.fallbackNames.clear();
    }
    for (const std::string& extra : ExtraPortNames()) {
        candidates.friendlyNames.push_back("Virtual serial port (" + extra + ")");
    }

    // The port name is the parenthesised part of the friendly name, as in "USB Serial (ttyUSB0)".
    static const std::regex pattern(R"(\(([^()\s]+)\))");
    std::vector<std::string> ports;
    for (const std::string& friendly : candidates.friendlyNames) {
        if (filter != nullptr && friendly.find(filter) == std::string::npos) continue;
        std::smatch match;
        if (!std::regex_search(friendly, match, pattern)) continue;
        std::string name = match[1].str();
        if (IsConsole(name, candidates.consoles)) continue;
        ports.push_back(name);
    }
    if (ports.empty()) {
        for (const std::string& name : candidates.fallbackNames) {
            if (!IsConsole(name, candidates.consoles)) ports.push_back(name);
        }
    }
    return ports;
}

}  // namespace tessel::detail
