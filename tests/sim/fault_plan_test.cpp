#include <sim/crc16.h>
#include <sim/fault_plan.h>

#include <gtest/gtest.h>

namespace {

TEST(SimFaultPlan, SkipsThenHarmsTheGivenNumberOfMatchingRequests) {
    sim::FaultPlan plan;
    sim::FaultRule rule;
    rule.kind = sim::Fault::ShortReply;
    rule.request = 0x17;
    rule.skip = 1;
    rule.times = 2;
    plan.Add(rule);
    EXPECT_FALSE(plan.Take(0x11));  // other requests neither count nor are harmed
    EXPECT_FALSE(plan.Take(0x17));  // skipped
    EXPECT_TRUE(plan.Take(0x17));
    EXPECT_TRUE(plan.Take(0x17));
    EXPECT_FALSE(plan.Take(0x17));
    EXPECT_TRUE(plan.Empty());

    sim::FaultRule forever;
    forever.kind = sim::Fault::NoReply;
    forever.times = -1;
    plan.Add(forever);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(plan.Take(0x100 + i));
}

TEST(SimCrc, MatchesThePublishedCheckValues) {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(sim::Crc16Ccitt(check, 9), 0x29B1);
    EXPECT_EQ(sim::Crc16Ccitt(check, 9, 0), 0x31C3);
    EXPECT_EQ(sim::Crc16Ccitt(check, 0), 0xFFFF);
}

}  // namespace
