#include "tools/detail/environment.h"

#include <stdlib.h>

namespace tools::detail {
void SetEnvironment(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }
}
