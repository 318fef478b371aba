#pragma once
/* Marks the public interface of tessel; everything else is hidden. The public headers of
 * tessel, korvan and the virtual device include this one, so it is also where a C++ standard
 * older than the headers need is refused. C comments only: the C header of the TIFF stack
 * reader includes it too and must compile as C89. */
#if defined(__cplusplus)
/* MSVC reports its real standard in _MSVC_LANG unless /Zc:__cplusplus is given. */
#if defined(_MSVC_LANG) && _MSVC_LANG > __cplusplus
#define TESSEL_CPLUSPLUS _MSVC_LANG
#else
#define TESSEL_CPLUSPLUS __cplusplus
#endif
#if TESSEL_CPLUSPLUS < 201703L
#error "the korvan SDK (korvan, tessel) needs C++17 or later: compile with -std=c++17"
#endif
#endif

#if defined(_WIN32)
#if defined(TESSEL_BUILDING)
#define TESSEL_API __declspec(dllexport)
#else
#define TESSEL_API __declspec(dllimport)
#endif
#else
#define TESSEL_API __attribute__((visibility("default")))
#endif
