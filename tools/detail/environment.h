#pragma once
#include <optional>
#include <string>

namespace tools::detail {
// This process's environment (seen by tessel's port enumeration).
void SetEnvironment(const char* name, const std::string& value);
// The variable's value, or nothing when it is not set.
std::optional<std::string> GetEnvironment(const char* name);
// Sets the variable to `value`, or removes it when there is none.
void RestoreEnvironment(const char* name, const std::optional<std::string>& value);
}  // namespace tools::detail
