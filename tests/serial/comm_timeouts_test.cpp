// The mapping of the serial layer's waits onto time-out records (what Windows gets through
// SetCommTimeouts), checked on every platform.
#include <tessel/serial/detail/comm_timeouts.h>

#include <gtest/gtest.h>

#include <cstdint>

using tessel::detail::kTimeoutFieldMax;
using tessel::detail::ReadTimeouts;
using tessel::detail::WriteBudgetMs;
using tessel::detail::WriteTimeouts;

namespace {

struct Record {
    std::uint32_t interval, multiplier, constant, writeMultiplier, writeConstant;
};

Record Of(const COMMTIMEOUTS& t) {
    return {static_cast<std::uint32_t>(t.ReadIntervalTimeout), static_cast<std::uint32_t>(t.ReadTotalTimeoutMultiplier),
            static_cast<std::uint32_t>(t.ReadTotalTimeoutConstant),
            static_cast<std::uint32_t>(t.WriteTotalTimeoutMultiplier),
            static_cast<std::uint32_t>(t.WriteTotalTimeoutConstant)};
}

COMMTIMEOUTS Writes(std::uint32_t multiplier, std::uint32_t constant) {
    COMMTIMEOUTS t{};
    t.WriteTotalTimeoutMultiplier = multiplier;
    t.WriteTotalTimeoutConstant = constant;
    return t;
}

constexpr std::uint32_t kMax = kTimeoutFieldMax;

TEST(CommTimeouts, ReadsReturnAsSoonAsBytesArriveAndWaitOnlyForTheFirst) {
    struct Case {
        int waitMs;
        Record expected;
    };
    const Case cases[] = {
        {-5, {kMax, 0, 0, 0, 0}},  // no wait: what has arrived, at once
        {0, {kMax, 0, 0, 0, 0}},
        {1, {kMax, kMax, 1, 0, 0}},
        {200, {kMax, kMax, 200, 0, 0}},
        {2000, {kMax, kMax, 2000, 0, 0}},  // the 2 x 1000 ms of a default receive
        {0x7FFFFFFF, {kMax, kMax, 0x7FFFFFFF, 0, 0}},
    };
    for (const Case& c : cases) {
        const Record r = Of(ReadTimeouts(c.waitMs));
        EXPECT_EQ(r.interval, c.expected.interval) << c.waitMs;
        EXPECT_EQ(r.multiplier, c.expected.multiplier) << c.waitMs;
        EXPECT_EQ(r.constant, c.expected.constant) << c.waitMs;
        EXPECT_EQ(r.writeMultiplier, 0u) << c.waitMs;
        EXPECT_EQ(r.writeConstant, 0u) << c.waitMs;
        // The total constant is never the all-bits value, which would change the read's meaning.
        EXPECT_NE(r.constant, kMax) << c.waitMs;
    }
}

TEST(CommTimeouts, EachWritePieceGetsItsOwnBudget) {
    struct Case {
        std::uint32_t multiplier, constant;
        int piece;
        long long budgetMs;
    };
    const Case cases[] = {
        {1000, 1000, 50, 51000},  // what Connect and every receive set
        {10, 0, 50, 500},
        {0, 300, 50, 300},
        {0, 0, 50, 51000},  // 0 would wait for ever: the port's starting budget instead
        {0, 0, 1, 2000},
        {0, 0, 0, 1000},
        {7, 5, -3, 5},  // a negative count writes nothing
        {0xFFFFFFFFu, 0xFFFFFFFFu, 50, 0xFFFFFFFFLL * 51},
    };
    for (const Case& c : cases) {
        const COMMTIMEOUTS record = Writes(c.multiplier, c.constant);
        EXPECT_EQ(WriteBudgetMs(record, c.piece), c.budgetMs) << c.multiplier << " " << c.constant << " " << c.piece;
        const Record r = Of(WriteTimeouts(record, c.piece));
        const long long capped = c.budgetMs >= kMax ? kMax - 1 : c.budgetMs;
        EXPECT_EQ(r.writeConstant, static_cast<std::uint32_t>(capped)) << c.piece;
        EXPECT_EQ(r.writeMultiplier, 0u);
        // A write's record never lets a stray read block.
        EXPECT_EQ(r.interval, kMax);
        EXPECT_EQ(r.multiplier, 0u);
        EXPECT_EQ(r.constant, 0u);
    }
}

}  // namespace
