#pragma once
// A Windows process receives one command-line string, which its C runtime splits into argv by
// the Microsoft C rules (quotes group, backslashes escape only before a quote). Building that
// string is plain text work, so it lives here, platform-neutral and tested on every platform.
#include <string>
#include <vector>

namespace tools::detail {

/// `argument` written so the Microsoft C rules read it back unchanged (empty becomes "").
std::string QuoteWindowsArgument(const std::string& argument);

/// The program and its arguments as one command line, each quoted as needed, space-separated.
std::string WindowsCommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace tools::detail
