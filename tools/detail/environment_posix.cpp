#include "tools/detail/environment.h"

#include <stdlib.h>

namespace tools::detail {
void SetEnvironment(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

std::optional<std::string> GetEnvironment(const char* name) {
    const char* value = ::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void RestoreEnvironment(const char* name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}
}  // namespace tools::detail
