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
        if (name != "--time-scale" && name != "--timeline") {
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

std::string RunOptionsHelp() {
    return "  --time-scale S     sequence clock: 1 real time (default), 2 half speed, 0 as fast as possible\n"
           "  --timeline FILE    write the executed timeline to FILE as CSV (time_us,event,list,channel,value),\n"
           "                     appended at the end of every run and on exit\n";
}

}  // namespace sim
