// How long one run lasts, in words, and the warning when a repeat makes it longer than an hour.
#include "tools/run_length.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RunLength, DurationsInTheTwoLargestUnits) {
    const struct {
        double seconds;
        const char* words;
    } cases[] = {
        {0, "0 seconds"},
        {1, "1 second"},
        {59.4, "59 seconds"},
        {61, "1 minute 1 second"},
        {3599, "59 minutes 59 seconds"},
        {3600, "1 hour"},
        {7500, "2 hours 5 minutes"},
        {90061, "1 day 1 hour"},
        {86400 * 400.0, "400 days"},
    };
    for (const auto& c : cases) EXPECT_EQ(tools::DurationInWords(c.seconds), c.words) << c.seconds;
}

sequence_file::CompiledSequence Compiled(unsigned int repeat, unsigned int tickTime = 50) {
    const std::string text = R"({ "tickTime": )" + std::to_string(tickTime) + R"(, "units": "device",
      "lasers": [ { "name": "a", "port": "laser1" } ],
      "elements": [
        { "type": "point", "at": [100, 100], "laser": "a", "repeat": 3 },
        { "type": "pulseTTL", "port": "ttl1" },
        { "type": "point", "at": [200, 200], "laser": "a", "repeat": )" +
                             std::to_string(repeat) + R"(, "waitForMirror": false } ] })";
    return sequence_file::CompiledSequence(sequence_file::ParseSequenceText(text, "."));
}

TEST(RunLength, ARepeatPastAnHourIsNamedWithTheRunsLength) {
    // 50 us a tick: an hour is 72,000,000 ticks.
    const auto under = Compiled(71'000'000);
    ASSERT_FALSE(under.Failure().has_value()) << under.analysis.reason;
    EXPECT_FALSE(tools::LongRunWarning(under).has_value());

    const auto over = Compiled(80'000'000);
    ASSERT_FALSE(over.Failure().has_value()) << over.analysis.reason;
    const auto warning = tools::LongRunWarning(over);
    ASSERT_TRUE(warning.has_value());
    EXPECT_NE(warning->find("one run lasts 1 hour 6 minutes"), std::string::npos) << *warning;
    EXPECT_NE(warning->find("/elements/2 (point) repeats 80000000 times"), std::string::npos) << *warning;

    // The tick time counts: the same repeat at 10 us a tick stays under the hour.
    EXPECT_FALSE(tools::LongRunWarning(Compiled(80'000'000, 10)).has_value());
}

}  // namespace
