#pragma once
// The progress display's view of standard error.
#include <string>

namespace tessel::detail {

bool stderrIsTerminal();
// Width of the terminal on standard error; 80 when it cannot be told.
int stderrColumns();
// Writes all of text to standard error, ignoring failures.
void writeStderr(const std::string& text);

}  // namespace tessel::detail
