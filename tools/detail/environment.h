#pragma once
#include <string>

namespace tools::detail {
// Sets a variable in this process's environment (seen by tessel's port enumeration).
void SetEnvironment(const char* name, const std::string& value);
}
