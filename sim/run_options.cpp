#include <sim/run_options.h>

#include <cmath>
#include <cstdlib>

namespace sim {

bool ParseRunOptions(const std::vector<std::string>& args, Options* options, std::vector<std::string>* rest,
                     std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string name = arg, value;
        bool inlineValue = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        if (name != "--time-scale" && name != "--timeline" && name != "--inputs") {
            rest->push_back(arg);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (name == "--inputs") {
            if (!ParseInputsMode(value, &options->autoInputMs, error)) return false;
            continue;
        }
        if (name == "--timeline") {
            if (value.empty()) {
                *error = "--timeline needs a file name";
                return false;
            }
            options->timelinePath = value;
            continue;
        }
        char* end = nullptr;
        const double scale = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(scale) || scale < 0) {
            *error = "--time-scale takes a number >= 0, not \"" + value + "\"";
            return false;
        }
        options->timeScale = scale;
    }
    return true;
}

bool ParseInputsMode(const std::string& value, int* autoInputMs, std::string* error) {
    if (value == "manual") {
        *autoInputMs = -1;
        return true;
    }
    if (value == "auto") {
        *autoInputMs = kDefaultAutoInputMs;
        return true;
    }
    const std::string prefix = "auto:";
    if (value.compare(0, prefix.size(), prefix) == 0) {
        const std::string ms = value.substr(prefix.size());
        char* end = nullptr;
        const long parsed = std::strtol(ms.c_str(), &end, 10);
        if (!ms.empty() && *end == '\0' && parsed >= 0 && parsed <= 3600000) {
            *autoInputMs = static_cast<int>(parsed);
            return true;
        }
    }
    *error = "--inputs takes manual, auto or auto:MS (MS from 0 to 3600000), not \"" + value + "\"";
    return false;
}

std::string RunOptionsHelp() {
    return "  --time-scale S     sequence clock: 1 real time (default), 2 half speed, 0 as fast as possible\n"
           "  --timeline FILE    write the executed timeline to FILE as CSV (time_us,event,list,channel,value),\n"
           "                     appended at the end of every run and on exit\n"
           "  --inputs MODE      manual (default): inputs change only when asked; auto: the device gives\n"
           "                     every wait for an input its level after 200 ms, auto:MS after MS ms\n";
}

}  // namespace sim
