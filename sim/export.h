#pragma once
/* Marks the public interface of the virtual device library (korvan::sim, libkorvan_sim);
 * everything else in it is hidden. The C++ standard is checked in tessel/export.h. */
#include <tessel/export.h>

#if defined(_WIN32)
#if defined(KORVAN_SIM_BUILDING)
#define KORVAN_SIM_API __declspec(dllexport)
#elif defined(KORVAN_SIM_STATIC)
#define KORVAN_SIM_API
#else
#define KORVAN_SIM_API __declspec(dllimport)
#endif
#else
#define KORVAN_SIM_API __attribute__((visibility("default")))
#endif
