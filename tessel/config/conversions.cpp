#include <tessel/config/conversions.h>

#include <locale>
#include <sstream>

namespace {

template <typename T>
T readLeading(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    T value{};
    in >> value;  // stores 0 or the limit on failure
    return value;
}

}  // namespace

std::string convertInt(int value) { return std::to_string(value); }

std::string convertFloat(float value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << static_cast<double>(value);
    return out.str();
}

std::string convertBool(bool value) { return value ? "1" : "0"; }

int convertStringToInt(std::string text) { return readLeading<int>(text); }

float convertStringToFloat(std::string text) { return readLeading<float>(text); }

bool convertStringToBool(std::string text) { return text == "true"; }
