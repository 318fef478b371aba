#pragma once
// The z positions of a stack from the acquisition metadata text.
#include <tessel/export.h>

#include <string>

namespace tessel::detail {

// Finds the first line holding "hStackManager.zs = " and reads either a single
// value or a bracketed list; the step is the distance from the first value to
// the first one that differs (0 when none does). False, outputs untouched,
// when there is no such line, a value is not a finite number or the step
// between two finite values is not either.
TESSEL_API bool parseZPositions(const std::string& metadata, double& start, double& step);

}  // namespace tessel::detail
