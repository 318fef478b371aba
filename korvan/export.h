#pragma once
// Marks the public interface of korvan; everything else is hidden.
#if defined(_WIN32)
#if defined(KORVAN_BUILDING)
#define KORVAN_API __declspec(dllexport)
#else
#define KORVAN_API __declspec(dllimport)
#endif
#else
#define KORVAN_API __attribute__((visibility("default")))
#endif
