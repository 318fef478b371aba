#pragma once
// The platform's integer rectangle: edges as whole-number coordinates. Same layout as the
// Windows RECT it stands in for.
#include <tessel/export.h>

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
struct tagRECT {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};
#endif
