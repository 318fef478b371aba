// The tool's virtual device, seen from a library user's process.
#include "tools/virtual_host.h"

#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The tool's virtual device makes itself the only listed port while it lives; a library user
// (a Python session previewing a file) must get the process's own enumeration back afterwards.
TEST(VirtualHost, GivesTheEnvironmentBackWhenItEnds) {
    const auto value = [](const char* name) {
        const char* v = ::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const testsupport::ScopedEnv users("TESSEL_EXTRA_PORTS", "users-own-port");
    const std::optional<std::string> noHardware = value("TESSEL_NO_HARDWARE_PORTS");
    {
        tools::VirtualHost host(sim::Options{});
        EXPECT_EQ(value("TESSEL_NO_HARDWARE_PORTS"), std::optional<std::string>("1"));
        EXPECT_EQ(value("TESSEL_EXTRA_PORTS"), std::optional<std::string>(host.PortName()));
    }
    EXPECT_EQ(value("TESSEL_NO_HARDWARE_PORTS"), noHardware);
    EXPECT_EQ(value("TESSEL_EXTRA_PORTS"), std::optional<std::string>("users-own-port"));
}

}  // namespace
