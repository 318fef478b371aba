#include <tessel/config/progress_meter.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using std::chrono::milliseconds;
using tessel::ProgressMeter;

TEST(ConfigProgressMeter, ReportsEveryMillisecondRedrawAboutTenTimesASecond) {
    ProgressMeter meter;
    const auto start = ProgressMeter::Clock::time_point{};
    int due = 0;
    for (int ms = 0; ms <= 2000; ++ms) due += meter.Update(ms, 2000, start + milliseconds(ms)) ? 1 : 0;
    // The first report, one every 100 ms, and the last.
    EXPECT_GE(due, 20);
    EXPECT_LE(due, 22);
}

TEST(ConfigProgressMeter, LineTellsRateAndTimeLeft) {
    ProgressMeter meter;
    const auto start = ProgressMeter::Clock::time_point{};
    ASSERT_TRUE(meter.Update(0, 3'000'000, start));
    EXPECT_EQ(meter.Line("upload").find("/s"), std::string::npos) << "no rate before there is one to measure";
    ASSERT_TRUE(meter.Update(1'000'000, 3'000'000, start + milliseconds(2000)));
    const std::string line = meter.Line("upload");
    EXPECT_EQ(line.rfind("upload [########................]  33%", 0), 0u) << line;
    EXPECT_NE(line.find("500 kB/s"), std::string::npos) << line;
    EXPECT_NE(line.find("4 s left"), std::string::npos) << line;
    // The end is always drawn and leaves no time left.
    ASSERT_TRUE(meter.Update(3'000'000, 3'000'000, start + milliseconds(2001)));
    EXPECT_EQ(meter.Line("upload").find("left"), std::string::npos);
}

TEST(ConfigProgressMeter, ANewTransferStartsItsOwnClock) {
    ProgressMeter meter;
    const auto start = ProgressMeter::Clock::time_point{};
    meter.Update(0, 1000, start);
    meter.Update(1000, 1000, start + milliseconds(10'000));
    // A second upload right after: drawn at once, and its rate is not the first one's.
    ASSERT_TRUE(meter.Update(0, 1000, start + milliseconds(10'010)));
    EXPECT_FALSE(meter.Update(10, 1000, start + milliseconds(10'020)));
    ASSERT_TRUE(meter.Update(500, 1000, start + milliseconds(11'010)));
    EXPECT_NE(meter.Line("x").find("500 B/s"), std::string::npos) << meter.Line("x");
}

TEST(ConfigProgressMeter, RatesAndTimesInWordsAUserReads) {
    const struct {
        double value;
        const char* rate;
        const char* left;
    } cases[] = {
        {0, "0 B/s", "less than 1 s"},      {0.4, "0 B/s", "less than 1 s"},         {999, "999 B/s", "16 min 39 s"},
        {1250, "1.25 kB/s", "20 min 50 s"}, {3'400'000, "3.4 MB/s", "944 h 26 min"}, {59.6, "60 B/s", "1 min 0 s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessel::FormatRate(c.value), c.rate) << c.value;
        EXPECT_EQ(tessel::FormatTimeLeft(c.value), c.left) << c.value;
    }
}

}  // namespace
