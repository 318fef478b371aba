#pragma once
/* Marks the public interface of korvan; everything else is hidden. The C++ standard the
 * headers need is checked in tessel/export.h. */
#include <tessel/export.h>

#if defined(_WIN32)
#if defined(KORVAN_BUILDING)
#define KORVAN_API __declspec(dllexport)
#else
#define KORVAN_API __declspec(dllimport)
#endif
#else
#define KORVAN_API __attribute__((visibility("default")))
#endif
