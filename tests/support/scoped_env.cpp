#include "support/scoped_env.h"

#include <stdlib.h>

namespace testsupport {

void SetEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
    ::_putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

void UnsetEnv(const char* name) {
#if defined(_WIN32)
    ::_putenv_s(name, "");  // an empty value removes the variable
#else
    ::unsetenv(name);
#endif
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    SetEnv(name, value);
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        SetEnv(name_.c_str(), *old_);
    else
        UnsetEnv(name_.c_str());
}

}  // namespace testsupport
