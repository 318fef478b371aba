#include "tools/run_length.h"

#include <cmath>
#include <cstdint>

namespace tools {

std::string DurationInWords(double seconds) {
    struct Unit {
        const char* name;
        uint64_t seconds;
    };
    static const Unit kUnits[] = {{"day", 86400}, {"hour", 3600}, {"minute", 60}, {"second", 1}};
    const uint64_t total = static_cast<uint64_t>(std::llround(std::max(0.0, seconds)));
    auto part = [](uint64_t n, const char* name) { return std::to_string(n) + " " + name + (n == 1 ? "" : "s"); };
    for (size_t i = 0; i < 4; ++i) {
        const uint64_t n = total / kUnits[i].seconds;
        if (n == 0 && i < 3) continue;
        std::string words = part(n, kUnits[i].name);
        if (i < 3) {
            const uint64_t rest = total % kUnits[i].seconds / kUnits[i + 1].seconds;
            if (rest > 0) words += " " + part(rest, kUnits[i + 1].name);
        }
        return words;
    }
    return part(0, "second");
}

std::optional<std::string> LongRunWarning(const sequence_file::CompiledSequence& compiled) {
    const double seconds = static_cast<double>(compiled.endTick) * compiled.file.tickTime / 1e6;
    if (!(seconds > kLongRunSeconds)) return std::nullopt;
    std::string text = "one run lasts " + DurationInWords(seconds);
    // The element that repeats the longest is the likely cause.
    const auto& elements = compiled.analysis.elements;
    int longest = -1;
    unsigned long long longestTicks = 0;
    for (size_t i = 0; i < elements.size() && i < compiled.file.elements.size(); ++i) {
        const SequenceObject* e = compiled.file.elements[i].element.get();
        if (e == nullptr || e->repeatCount == 0) continue;
        const unsigned long long ticks = elements[i].endTick - elements[i].startTick;
        if (ticks > longestTicks) {
            longestTicks = ticks;
            longest = static_cast<int>(i);
        }
    }
    if (longest >= 0) {
        const auto& entry = compiled.file.elements[static_cast<size_t>(longest)];
        text += "; " + entry.pointer + " (" + entry.type + ") repeats " + std::to_string(entry.element->repeatCount) +
                " times and takes " +
                DurationInWords(static_cast<double>(longestTicks) * compiled.file.tickTime / 1e6) + " of it";
    }
    return text;
}

}  // namespace tools
