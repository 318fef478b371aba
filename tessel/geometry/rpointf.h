#pragma once
// Double precision point: the point type of korvan's public interface, in
// camera or device coordinates.
#include <tessel/export.h>

struct TESSEL_API RPOINTF {
    double x;
    double y;

    /// (0, 0).
    RPOINTF();
    /// Exact conversion of two integers.
    RPOINTF(int x, int y);
    /// Widened from two floats.
    RPOINTF(float x, float y);
    RPOINTF(double x, double y);
};
