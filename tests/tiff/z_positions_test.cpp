// The z positions read from acquisition metadata, and outputs left alone on every failure.
#include <tessel/tiff/detail/z_positions.h>

#include <gtest/gtest.h>

#include <string>

using tessel::detail::parseZPositions;

namespace {

TEST(ZPositions, FailuresLeaveTheOutputsUntouched) {
    struct Case {
        std::string metadata;
        bool ok;
        double start, step;  // expected outputs; 11 and 22 are their values before the call
    };
    const Case cases[] = {
        {"hStackManager.zs = [0 2 4 6]\n", true, 0, 2},
        {"hStackManager.zs = 5\n", true, 5, 0},
        {"hStackManager.zs = [-1.7e308 0]\n", true, -1.7e308, 1.7e308},
        // Each value fits a double, the step between them does not.
        {"hStackManager.zs = [-1e308 1e308]\n", false, 11, 22},
        {"hStackManager.zs = [1.7e308 1.7e308 -1.7e308]\n", false, 11, 22},
        // A value that does not fit itself.
        {"hStackManager.zs = 1e400\n", false, 11, 22},
        {"hStackManager.zs = [0 -1e400]\n", false, 11, 22},
        {"hStackManager.zs = inf\n", false, 11, 22},
        {"hStackManager.zs = [1 x]\n", false, 11, 22},
        {"hStackManager.zs = []\n", false, 11, 22},
        {"no z positions here\n", false, 11, 22},
    };
    for (const Case& c : cases) {
        double start = 11, step = 22;
        EXPECT_EQ(parseZPositions(c.metadata, start, step), c.ok) << c.metadata;
        EXPECT_DOUBLE_EQ(start, c.start) << c.metadata;
        EXPECT_DOUBLE_EQ(step, c.step) << c.metadata;
    }
}

}  // namespace
