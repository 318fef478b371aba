#include <tessel/serial/detail/port_enumeration.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
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

// The scan, the seam and the environment may offer text of any length; names past these limits
// are skipped rather than cut, since a cut name would be a different port.
constexpr std::size_t kMaxFriendlyNameLength = 255;  // what a friendly-name buffer of 512 bytes holds
constexpr std::size_t kMaxPortNameLength = 128;      // room for /dev/serial/by-id/... paths

constexpr char kVirtualPortText[] = "Virtual serial port (";

bool IsNameSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The first parenthesised run of characters other than parentheses and blanks, as in
// "USB Serial (ttyUSB0)". One pass without backtracking, so no input can exhaust the stack.
bool ParenthesisedName(const std::string& text, std::string& name) {
    std::size_t i = text.find('(');
    while (i != std::string::npos) {
        std::size_t end = i + 1;
        while (end < text.size() && text[end] != '(' && text[end] != ')' && !IsNameSpace(text[end])) ++end;
        if (end < text.size() && text[end] == ')' && end > i + 1) {
            name = text.substr(i + 1, end - i - 1);
            return true;
        }
        // No '(' lies between i and end, so the next candidate is at end or later.
        i = text.find('(', end);
    }
    return false;
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
        if (!item.empty() && item.size() <= kMaxPortNameLength) names.push_back(item);
    }
    return names;
}

// "ttyS0", "/dev/ttyS0", "/dev/./ttyS0" and a link to it all name the same port. Only paths are
// looked at (nothing is opened), so this is safe on the console itself.
std::string BareName(const std::string& name) {
    namespace fs = std::filesystem;
    // A Windows device path (\\.\COMn, \\.\pipe\...) is a name already; resolving it could open it.
    if (name.empty() || name.rfind("\\\\", 0) == 0) return name;
    fs::path path = name[0] == '/' ? fs::path(name) : fs::path("/dev") / name;
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    std::string full = (ec ? path.lexically_normal() : resolved).string();
    return full.rfind("/dev/", 0) == 0 ? full.substr(5) : full;
}

bool IsConsole(const std::string& name, const std::vector<std::string>& consoles) {
    std::string bare = BareName(name);
    if (bare == "console") return true;  // /dev/console is whichever console is active
    return std::any_of(consoles.begin(), consoles.end(), [&](const std::string& c) { return BareName(c) == bare; });
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
        candidates.friendlyNames.push_back(kVirtualPortText + extra + ")");
    }
    static_assert(sizeof kVirtualPortText + kMaxPortNameLength <= kMaxFriendlyNameLength,
                  "every accepted extra port must make an accepted friendly name");

    // The port name is the parenthesised part of the friendly name, as in "USB Serial (ttyUSB0)".
    std::vector<std::string> ports;
    for (const std::string& friendly : candidates.friendlyNames) {
        if (friendly.size() > kMaxFriendlyNameLength) continue;
        if (filter != nullptr && friendly.find(filter) == std::string::npos) continue;
        std::string name;
        if (!ParenthesisedName(friendly, name)) continue;
        if (IsConsole(name, candidates.consoles)) continue;
        ports.push_back(name);
    }
    if (ports.empty()) {
        for (const std::string& name : candidates.fallbackNames) {
            if (name.size() > kMaxPortNameLength) continue;
            if (!IsConsole(name, candidates.consoles)) ports.push_back(name);
        }
    }
    return ports;
}

}  // namespace tessel::detail
