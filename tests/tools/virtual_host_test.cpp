// The tool's virtual device, seen from a library user's process.
#include "tools/virtual_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace {

// The tool's virtual device makes itself the only listed port while it lives; a library user
// (a Python session previewing a file) must get the process's own enumeration back afterwards.
TEST(VirtualHost, GivesTheEnvironmentBackWhenItEnds) {
    const char* kNames[] = {"TESSEL_NO_HARDWARE_PORTS", "TESSEL_EXTRA_PORTS"};
    const auto value = [](const char* name) {
        const char* v = ::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto before = std::make_pair(value(kNames[0]), value(kNames[1]));
    ::setenv("TESSEL_EXTRA_PORTS", "/dev/pts/users-own", 1);
    {
        tools::VirtualHost host(sim::Options{});
        EXPECT_EQ(value(kNames[0]), std::optional<std::string>("1"));
        EXPECT_EQ(value(kNames[1]), std::optional<std::string>(host.PortName()));
    }
    EXPECT_EQ(value(kNames[0]), before.first);
    EXPECT_EQ(value(kNames[1]), std::optional<std::string>("/dev/pts/users-own"));
    if (before.second)
        ::setenv(kNames[1], before.second->c_str(), 1);
    else
        ::unsetenv(kNames[1]);
}

}  // namespace
