#pragma once
// Durations as people read them, shared by the pictures and the tool's reports.
#include <string>

namespace preview {

/// Microseconds in the largest unit that keeps them readable ("61.7 ms").
std::string FormatMicroseconds(double us);

}  // namespace preview
