#include <tessel/geometry/rpointf.h>

RPOINTF::RPOINTF() : x(0.0), y(0.0) {}
RPOINTF::RPOINTF(int x_, int y_) : x(x_), y(y_) {}
RPOINTF::RPOINTF(float x_, float y_) : x(x_), y(y_) {}
RPOINTF::RPOINTF(double x_, double y_) : x(x_), y(y_) {}
