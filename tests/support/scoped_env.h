#pragma once
// Sets an environment variable for the life of the object and restores the old value after.
#include <optional>
#include <string>

namespace testsupport {

/// Sets or removes a variable of this process's environment (on Windows an empty value cannot
/// be set: it removes the variable).
void SetEnv(const char* name, const std::string& value);
void UnsetEnv(const char* name);

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace testsupport
