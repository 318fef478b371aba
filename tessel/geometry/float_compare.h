#pragma once
// Absolute tolerance comparisons. The tolerance is the type's machine epsilon,
// not a relative one: two large values one unit in the last place apart
// compare unequal.
#include <tessel/export.h>

/// True when |a - b| < FLT_EPSILON; the difference is formed in float.
TESSEL_API bool fltEquals(float a, float b);

/// True when |a - b| < DBL_EPSILON.
TESSEL_API bool dblEquals(double a, double b);
