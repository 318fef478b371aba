#pragma once
// How long one run of a compiled sequence lasts, and the warning when a repeat count makes it
// longer than anyone likely meant. `korvan check` and `korvan run` both tell it.
#include <sequence_file/compiled_sequence.h>

#include <optional>
#include <string>

namespace tools {

/// One run longer than this draws a warning.
constexpr double kLongRunSeconds = 3600;

/// "2 hours 5 minutes", "3 days 4 hours", "59 minutes 59 seconds": the two largest units.
std::string DurationInWords(double seconds);

/// A warning when one run of `compiled` lasts longer than kLongRunSeconds, naming the element
/// whose repetitions take longest; nothing otherwise.
std::optional<std::string> LongRunWarning(const sequence_file::CompiledSequence& compiled);

}  // namespace tools
