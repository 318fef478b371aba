// Every rule that keeps other sites and other machines away from the laser: each refused request
// gets its 4xx with a JSON error and changes nothing.
#include <support/studio_server_fixture.h>

#include <filesystem>

namespace {

using testsupport::FileExists;
using testsupport::RequestShape;
using Token = RequestShape::Token;

struct Refusal {
    const char* name;
    const char* method;
    const char* path;
    RequestShape shape;
    int status;
};

const Refusal kRefusals[] = {
    {"no token on the page", "GET", "/", {Token::None}, 401},
    {"no token on the state", "GET", "/api/state", {Token::None}, 401},
    {"wrong token in the cookie", "GET", "/api/state", {Token::Wrong}, 401},
    {"no token on disconnect", "POST", "/api/disconnect", {Token::None}, 401},
    {"wrong token on disconnect", "POST", "/api/disconnect", {Token::Wrong}, 401},
    {"foreign Host (DNS rebinding)", "GET", "/api/state", {Token::Cookie, "attacker.example:80"}, 403},
    {"foreign Host on disconnect", "POST", "/api/disconnect", {Token::Cookie, "attacker.example"}, 403},
    {"right host, wrong port", "GET", "/api/state", {Token::Cookie, "127.0.0.1:1"}, 403},
    {"cross-origin disconnect", "POST", "/api/disconnect", {Token::Cookie, "", "http://attacker.example"}, 403},
    {"disconnect without Origin", "POST", "/api/disconnect", {Token::Cookie, "", "-"}, 403},
    {"disconnect without the custom header", "POST", "/api/disconnect", {Token::Cookie, "", "", false}, 403},
    {"save without the custom header", "PUT", "/api/sequence?path=new.json", {Token::Cookie, "", "", false}, 403},
    {"cross-origin save", "PUT", "/api/sequence?path=new.json", {Token::Cookie, "", "https://127.0.0.1"}, 403},
    {"save through ..", "PUT", "/api/sequence?path=../new.json", {}, 403},
    {"save at an absolute path", "PUT", "/api/sequence?path=/tmp/new.json", {}, 403},
    {"save through a link leading out", "PUT", "/api/sequence?path=out/new.json", {}, 403},
    {"list through ..", "GET", "/api/files?dir=..", {}, 403},
    {"list an absolute folder", "GET", "/api/files?dir=/etc", {}, 403},
    {"list through a link leading out", "GET", "/api/files?dir=out", {}, 403},
    {"open through a link leading out", "GET", "/api/sequence?path=out/outside.json", {}, 403},
    {"open through a nested ..", "GET", "/api/sequence?path=sub/../../outside.json", {}, 403},
};

class StudioSecurityTest : public testsupport::StudioServerTest, public ::testing::WithParamInterface<Refusal> {
protected:
    void SetUp() override {
        StudioServerTest::SetUp();
        // A folder beside the studio's, reachable only through a link inside it.
        outside = std::filesystem::path(folder.Path()).parent_path() / ("outside-" + std::to_string(server->Port()));
        std::filesystem::create_directory(outside);
        testsupport::WriteFile((outside / "outside.json").string(), testsupport::kTwoPointSequence);
        std::filesystem::create_directory_symlink(outside, folder.File("out"));
        std::filesystem::create_directory(folder.File("sub"));
    }
    void TearDown() override {
        StudioServerTest::TearDown();
        std::filesystem::remove_all(outside);
    }
    std::filesystem::path outside;
};

TEST_P(StudioSecurityTest, RefusedWithItsStatusAndNothingChanged) {
    const Refusal& c = GetParam();
    ASSERT_TRUE(Connected());
    const auto r = Send(c.method, c.path, testsupport::kTwoPointSequence, c.shape);
    ASSERT_TRUE(r) << c.name;
    EXPECT_EQ(r->status, c.status) << c.name << ": " << r->body;
    const nlohmann::json body = Body(r);
    ASSERT_TRUE(body.is_object()) << c.name << ": " << r->body;
    EXPECT_FALSE(body.value("error", "").empty()) << c.name;
    // Nothing changed: the device is still there, no file appeared anywhere, no token leaked.
    EXPECT_TRUE(Connected()) << c.name;
    EXPECT_FALSE(FileExists(folder.File("new.json"))) << c.name;
    EXPECT_FALSE(FileExists((outside / "new.json").string())) << c.name;
    EXPECT_FALSE(FileExists("/tmp/new.json")) << c.name;
    EXPECT_FALSE(r->has_header("Set-Cookie")) << c.name;
    EXPECT_EQ(r->body.find(server->Policy().Token()), std::string::npos) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rules, StudioSecurityTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

using StudioAccessTest = testsupport::StudioServerTest;

TEST_F(StudioAccessTest, TheTokenInTheQueryBecomesAStrictHttpOnlyCookie) {
    const auto r = Send("GET", "/", "", {Token::Query});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    const std::string cookie = r->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("korvan_studio_token=" + server->Policy().Token()), std::string::npos) << cookie;
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos) << cookie;
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos) << cookie;
}

TEST_F(StudioAccessTest, AWrongTokenInTheQueryIsRefusedEvenWithTheRightCookie) {
    httplib::Headers headers = {{"Host", Own()}, {"Cookie", "korvan_studio_token=" + server->Policy().Token()}};
    const auto r = client->Get("/api/state?token=00000000000000000000000000000000", headers);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 401);
}

TEST_F(StudioAccessTest, LocalhostWithThePortIsAnAcceptedHost) {
    const auto r = Send("GET", "/api/state", "", {Token::Cookie, "localhost:" + std::to_string(server->Port())});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
}

TEST_F(StudioAccessTest, NoResponseCarriesCorsHeaders) {
    for (const char* path : {"/", "/api/state", "/api/files", "/no-such-thing"}) {
        httplib::Headers headers = {{"Host", Own()},
                                    {"Origin", "http://attacker.example"},
                                    {"Cookie", "korvan_studio_token=" + server->Policy().Token()}};
        const auto r = client->Get(path, headers);
        ASSERT_TRUE(r) << path;
        for (const auto& [name, value] : r->headers)
            EXPECT_NE(name.rfind("Access-Control-", 0), 0u) << path << ": " << name;
    }
}

}  // namespace
