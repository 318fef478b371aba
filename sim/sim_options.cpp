#include <sim/sim_options.h>

#include <cstdint>
#include <cstdlib>
#include <functional>

namespace sim {
namespace {

struct Option {
    const char* name;
    const char* help;
    std::function<bool(Identity&, const std::string&)> apply;
};

bool ToInt(const std::string& text, long min, long max, long* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || value < min || value > max) return false;
    *out = value;
    return true;
}

std::function<bool(Identity&, const std::string&)> IntField(int Identity::*field, long max) {
    return [field, max](Identity& id, const std::string& v) {
        long value = 0;
        if (!ToInt(v, 0, max, &value)) return false;
        id.*field = static_cast<int>(value);
        return true;
    };
}

const std::vector<Option>& Options() {
    static const std::vector<Option> options = {
        {"device-type", "device type (request 0x11), default 3", IntField(&Identity::deviceType, 0xFFFF)},
        {"sub-type", "device sub-type (0x14)", IntField(&Identity::deviceSubType, 0xFFFF)},
        {"revision", "hardware revision (0x15)", IntField(&Identity::revision, 0xFFFF)},
        {"firmware", "firmware version (0x16), default 16", IntField(&Identity::firmwareVersion, 0xFFFF)},
        {"bootloader", "bootloader version (0x17), default 2", IntField(&Identity::bootloaderVersion, 0xFFFF)},
        {"max-baud", "maximum baud rate (0x1A), default 921600", IntField(&Identity::maxBaudRate, 0x7FFFFFFF)},
        {"serial", "serial number, up to 8 characters, default 123-4567",
         [](Identity& id, const std::string& v) {
             if (v.size() > 8) return false;
             id.serialNumber = v;
             return true;
         }},
        {"description", "description text (0x1C)",
         [](Identity& id, const std::string& v) {
             id.description = v;
             return v.find('\0') == std::string::npos;
         }},
        {"block-size", "firmware block size (0x1F), default 256",
         [](Identity& id, const std::string& v) {
             long value = 0;
             if (!ToInt(v, 1, 0xFFFF, &value)) return false;
             id.blockSize = static_cast<uint32_t>(value);
             return true;
         }},
    };
    return options;
}

}  // namespace

bool ParseIdentityOptions(const std::vector<std::string>& args, Identity* identity, std::vector<std::string>* rest,
                          std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const Option* match = nullptr;
        std::string value;
        bool hasValue = false;
        for (const Option& option : Options()) {
            const std::string flag = std::string("--") + option.name;
            if (arg == flag) {
                match = &option;
            } else if (arg.compare(0, flag.size() + 1, flag + "=") == 0) {
                match = &option;
                value = arg.substr(flag.size() + 1);
                hasValue = true;
            }
            if (match) break;
        }
        if (match == nullptr) {
            if (rest) rest->push_back(arg);
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                if (error) *error = arg + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!match->apply(*identity, value)) {
            if (error) *error = "bad value for --" + std::string(match->name) + ": " + value;
            return false;
        }
    }
    return true;
}

std::string IdentityOptionsHelp() {
    std::string text;
    for (const Option& option : Options()) text += "  --" + std::string(option.name) + " VALUE\t" + option.help + "\n";
    return text;
}

}  // namespace sim
