#include <tessel/tiff/detail/z_positions.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace tessel::detail {
namespace {

const char kKey[] = "hStackManager.zs = ";

// A number at the start of `text` (leading blanks skipped, anything after the
// number ignored, as the acquisition software's own reader does); false when
// there is none or it is not finite.
bool toNumber(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && errno != ERANGE && std::isfinite(value);
}

}  // namespace

bool parseZPositions(const std::string& metadata, double& start, double& step) {
    std::istringstream lines(metadata);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t key = line.find(kKey);
        if (key == std::string::npos) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();

        std::vector<double> values;
        const size_t open = line.find('[');
        if (open != std::string::npos) {
            const size_t close = line.rfind(']');
            const size_t stop = close != std::string::npos && close > open ? close : line.size();
            std::istringstream items(line.substr(open + 1, stop - open - 1));
            std::string item;
            while (items >> item) {
                double v;
                if (!toNumber(item, v)) return false;
                values.push_back(v);
            }
        } else {
            double v;
            if (!toNumber(line.substr(key + sizeof kKey - 1), v)) return false;
            values.push_back(v);
        }
        if (values.empty()) return false;

        // Two finite values can still be further apart than a double reaches; the outputs are
        // written only once the step is known to be finite.
        double difference = 0;
        for (double v : values)
            if (v != values[0]) {
                difference = v - values[0];
                break;
            }
        if (!std::isfinite(difference)) return false;
        start = values[0];
        step = difference;
        return true;
    }
    return false;
}

}  // namespace tessel::detail
