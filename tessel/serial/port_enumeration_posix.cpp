// What a Linux machine offers to port enumeration, read from /sys and /dev without opening
// any port.
#include <tessel/serial/detail/serial_platform.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tessel::detail {
namespace {

namespace fs = std::filesystem;

std::string ReadFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (in) std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// Legacy UART entries (ttyS*) exist whether or not a UART is behind them; their port type
// is 0 (unknown) when there is none.
bool HasHardware(const fs::path& ttyClassEntry) {
    std::error_code ec;
    if (!fs::exists(ttyClassEntry / "device", ec)) return false;
    fs::path type = ttyClassEntry / "type";
    if (fs::exists(type, ec)) return ReadFirstLine(type) != "0" && !ReadFirstLine(type).empty();
    return true;
}

// The product text of a USB device lies a few levels above the tty's device node.
std::string ProductText(const fs::path& ttyClassEntry) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyClassEntry / "device", ec);
    if (ec) return {};
    for (int level = 0; level < 4 && !dir.empty(); ++level, dir = dir.parent_path()) {
        std::string product = ReadFirstLine(dir / "product");
        if (!product.empty()) {
            std::string maker = ReadFirstLine(dir / "manufacturer");
            return maker.empty() ? product : maker + " " + product;
        }
    }
    return {};
}

struct NameOrder {
    static int Family(const std::string& n) {
        if (n.rfind("ttyS", 0) == 0) return 0;
        if (n.rfind("ttyUSB", 0) == 0) return 1;
        return 2;
    }
    static long Number(const std::string& n) {
        std::size_t i = n.find_first_of("0123456789");
        return i == std::string::npos ? -1 : std::strtol(n.c_str() + i, nullptr, 10);
    }
    bool operator()(const std::string& a, const std::string& b) const {
        if (Family(a) != Family(b)) return Family(a) < Family(b);
        if (Number(a) != Number(b)) return Number(a) < Number(b);
        return a < b;
    }
};

bool IsSerialFamily(const std::string& name) {
    return name.rfind("ttyS", 0) == 0 || name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

}  // namespace

PortCandidates ScanSerialPorts() {
    PortCandidates result;
    std::error_code ec;

    std::istringstream consoles(ReadFirstLine("/sys/class/tty/console/active"));
    for (std::string name; consoles >> name;) result.consoles.push_back(name);

    const fs::path ttyClass("/sys/class/tty");
    std::vector<std::string> hardware;
    if (fs::exists(ttyClass, ec)) {
        for (const auto& entry : fs::directory_iterator(ttyClass, ec)) {
            std::string name = entry.path().filename().string();
            if (!IsSerialFamily(name) || !HasHardware(entry.path())) continue;
            hardware.push_back(name);
        }
    }
    std::sort(hardware.begin(), hardware.end(), NameOrder());
    for (const std::string& name : hardware) {
        std::string product = ProductText(ttyClass / name);
        result.friendlyNames.push_back((product.empty() ? "Serial port" : product) + " (" + name + ")");
    }

    std::vector<std::string> fallback;
    for (const auto& entry : fs::directory_iterator("/dev", ec)) {
        std::string name = entry.path().filename().string();
        if (!IsSerialFamily(name)) continue;
        fs::path classEntry = ttyClass / name;
        if (fs::exists(classEntry, ec) && !HasHardware(classEntry)) continue;
        fallback.push_back(name);
    }
    std::sort(fallback.begin(), fallback.end(), NameOrder());
    result.fallbackNames = std::move(fallback);
    return result;
}

}  // namespace tessel::detail
