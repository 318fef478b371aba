#pragma once
#include <korvan/export.h>

/// Version text of the korvan library ("major.minor.patch"); static storage, never freed.
KORVAN_API const char* KorvanVersion();
