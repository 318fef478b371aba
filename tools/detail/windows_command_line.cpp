#include "tools/detail/windows_command_line.h"

namespace tools::detail {

std::string QuoteWindowsArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as escapes only before a quote: double them there, and escape the quote.
        if (c == '"') quoted.append(backslashes + 1, '\\');
        quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    // The closing quote follows: the trailing backslashes must not escape it.
    quoted.append(2 * backslashes, '\\');
    return quoted + '"';
}

std::string WindowsCommandLine(const std::string& program, const std::vector<std::string>& args) {
    std::string line = QuoteWindowsArgument(program);
    for (const std::string& a : args) line += ' ' + QuoteWindowsArgument(a);
    return line;
}

}  // namespace tools::detail
