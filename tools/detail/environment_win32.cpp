#include "tools/detail/environment.h"

#include <stdlib.h>

namespace tools::detail {
// _putenv_s updates the C runtime's copy, which getenv (and so tessel) reads, and the process's.
void SetEnvironment(const char* name, const std::string& value) { ::_putenv_s(name, value.c_str()); }

std::optional<std::string> GetEnvironment(const char* name) {
    const char* value = ::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void RestoreEnvironment(const char* name, const std::optional<std::string>& value) {
    ::_putenv_s(name, value ? value->c_str() : "");  // an empty value removes the variable
}
}  // namespace tools::detail
