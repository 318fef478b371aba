#pragma once
// The platform's integer point: mirror positions and other whole-number
// coordinates. Same layout as the Windows POINT it stands in for.
#include <tessel/export.h>

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
struct tagPOINT {
    std::int32_t x;
    std::int32_t y;
};
#endif
