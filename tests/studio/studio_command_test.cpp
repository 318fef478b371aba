// korvan studio as users start it: the printed address opens the studio, and Ctrl-C stops
// everything and ends it with the exit code shells give an interrupted program.
#include <support/sim_process.h>
#include <support/temp_dir.h>

#include <httplib.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>

namespace {

TEST(StudioCommandTest, ThePrintedAddressOpensTheStudioAndCtrlCEndsIt) {
    testsupport::TempDir folder;
    testsupport::ChildProcess studio({KORVAN_TOOL_PATH, "studio", "--virtual", "--folder", folder.Path()});
    ASSERT_TRUE(studio.Running());
    const std::string line = studio.ReadLineStartingWith("korvan studio: open ", 10000);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, std::regex(R"(http://127\.0\.0\.1:([0-9]+)/\?token=([0-9a-f]{32}))")))
        << studio.Output();
    const int port = std::stoi(m[1]);
    httplib::Client client("127.0.0.1", port);
    const auto page = client.Get(("/?token=" + m[2].str()).c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    const std::string cookie = page->get_header_value("Set-Cookie");
    const auto state = client.Get("/api/state", {{"Cookie", cookie.substr(0, cookie.find(';'))}});
    ASSERT_TRUE(state);
    EXPECT_TRUE(nlohmann::json::parse(state->body).value("connected", false)) << state->body;
    EXPECT_EQ(studio.Interrupt(10000), 130);
    EXPECT_EQ(studio.ReadLineStartingWith("stopped:", 2000).rfind("stopped: sequences ended, lasers off", 0), 0u)
        << studio.Output();
}

}  // namespace
