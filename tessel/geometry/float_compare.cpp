#include <tessel/geometry/float_compare.h>

#include <cfloat>
#include <cmath>

bool fltEquals(float a, float b) { return std::fabs(a - b) < FLT_EPSILON; }

bool dblEquals(double a, double b) { return std::fabs(a - b) < DBL_EPSILON; }
