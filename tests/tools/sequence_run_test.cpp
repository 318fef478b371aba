// Upload and start as the tool and the studio share them, against the tool's virtual device.
#include "tools/connect_device.h"
#include "tools/sequence_run.h"
#include "tools/virtual_host.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<int, int>> reports;
int cancelAfter = -1;  // reports before the progress function cancels; -1 never

bool Record(int sent, int total) {
    reports.emplace_back(sent, total);
    return cancelAfter < 0 || static_cast<int>(reports.size()) < cancelAfter;
}

sequence_file::SequenceFile ManyPoints(int count) {
    nlohmann::json elements = nlohmann::json::array();
    for (int i = 0; i < count; ++i)
        elements.push_back(
            {{"type", "point"}, {"at", {1000 + (i % 100) * 600, 1000 + (i / 100) * 600}}, {"laser", "blue"}});
    const nlohmann::json document = {{"tickTime", 50},
                                     {"units", "device"},
                                     {"lasers", {{{"name", "blue"}, {"port", "laser1"}}}},
                                     {"elements", elements}};
    return sequence_file::ParseSequenceText(document.dump(), ".");
}

class SequenceRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        reports.clear();
        cancelAfter = -1;
        tools::ConnectTo(korvan, host.PortName());
    }
    void TearDown() override { korvan.Disconnect(); }

    static sim::Options RealTime() {
        sim::Options options;
        options.timeScale = 1;  // still running when asked right after the start
        return options;
    }
    tools::VirtualHost host{RealTime()};
    Korvan korvan;
};

TEST_F(SequenceRunTest, UploadReportsItsProgressUpToTheWholeImage) {
    sequence_file::SequenceFile file = ManyPoints(1000);
    sequence_file::ApplyFileTiming(korvan, file);
    const sequence_file::DefinedSequence defined(korvan, std::move(file));
    const std::optional<unsigned short> number = tools::UploadDefined(korvan, defined, Record);
    ASSERT_TRUE(number.has_value());
    ASSERT_GE(reports.size(), 2u);
    // Each transfer counts up to its total; the last one is the whole image.
    for (size_t i = 1; i < reports.size(); ++i)
        if (reports[i].second == reports[i - 1].second) EXPECT_GT(reports[i].first, reports[i - 1].first);
    EXPECT_EQ(reports.back().first, reports.back().second);
    EXPECT_GE(static_cast<size_t>(reports.back().second), defined.compiled.analysis.mainListLength);

    tools::RunSettings settings;
    tools::StartUploaded(korvan, *number, settings);
    State state = NotConnected;
    ASSERT_EQ(0u, korvan.GetState(&state));
    EXPECT_TRUE(IsSequenceActive(state));
    EXPECT_EQ(0u, korvan.Stop());
}

TEST_F(SequenceRunTest, ProgressFunctionCancelsTheUpload) {
    sequence_file::SequenceFile file = ManyPoints(1000);
    sequence_file::ApplyFileTiming(korvan, file);
    const sequence_file::DefinedSequence defined(korvan, std::move(file));
    cancelAfter = 3;
    EXPECT_FALSE(tools::UploadDefined(korvan, defined, Record).has_value());
    EXPECT_EQ(3u, reports.size());
    // The connection stays usable: the next upload goes through.
    cancelAfter = -1;
    EXPECT_TRUE(tools::UploadDefined(korvan, defined, Record).has_value());
}

}  // namespace
