#pragma once
// The z positions of a stack from the acquisition metadata text.
#include <string>

namespace tessel::detail {

// Finds the first line holding "hStackManager.zs = " and reads either a single
// value or a bracketed list; the step is the distance from the first value to
// the first one that differs (0 when none does). False, outputs untouched,
// when there is no such line or a value is not a finite number.
bool parseZPositions(const std::string& metadata, double& start, double& step);

}  // namespace tessel::detail
