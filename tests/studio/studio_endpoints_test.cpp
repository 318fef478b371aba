// Each endpoint of the studio's interface, its answer and its refusals, against the virtual
// device and a fresh folder.
#include <support/studio_server_fixture.h>

#include <sequence_file/sequence_file.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;
using StudioEndpointsTest = testsupport::StudioServerTest;

struct Failing {
    const char* method;
    const char* path;
    const char* body;
    int status;
    const char* errorPart;  ///< a piece of the error message
};

const Failing kFailing[] = {
    {"POST", "/api/connect", "not json", 400, "malformed JSON"},
    {"POST", "/api/connect", "[1, 2]", 400, "JSON object"},
    {"POST", "/api/connect", "{}", 400, "device"},
    {"POST", "/api/connect", R"({"device": 3})", 400, "device"},
    {"POST", "/api/connect", R"({"device": "ttyNOPE9"})", 404, "ttyNOPE9"},
    {"GET", "/api/files?dir=missing", "", 404, "missing"},
    {"GET", "/api/files?dir=good.json", "", 400, "not a folder"},
    {"GET", "/api/sequence?path=missing.json", "", 404, "missing.json"},
    {"GET", "/api/sequence?path=bad.json", "", 400, ""},
    {"PUT", "/api/sequence?path=saved.txt", "{}", 400, ".json"},
    {"PUT", "/api/sequence", "{}", 400, "path"},
    {"PUT", "/api/sequence?path=nofolder/saved.json", "{}", 404, "nofolder"},
    {"PUT", "/api/sequence?path=saved.json", R"({"elements": 5})", 400, ""},
    {"POST", "/api/sequence/check", "{", 400, ""},
    {"GET", "/api/nothing-here", "", 404, "no such"},
};

TEST_F(StudioEndpointsTest, BadRequestsAreRefusedWithAJsonErrorAndChangeNothing) {
    WriteFile(folder.File("good.json"), testsupport::kTwoPointSequence);
    WriteFile(folder.File("bad.json"), R"({"lasers": [], "elements": [{"type": "teleport"}]})");
    for (const Failing& c : kFailing) {
        const auto r = Send(c.method, c.path, c.body);
        ASSERT_TRUE(r) << c.method << " " << c.path;
        EXPECT_EQ(r->status, c.status) << c.method << " " << c.path << ": " << r->body;
        const std::string error = Body(r).value("error", "");
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.path << ": " << error;
        EXPECT_FALSE(error.empty()) << c.path;
        EXPECT_TRUE(Connected()) << c.method << " " << c.path;
        EXPECT_FALSE(testsupport::FileExists(folder.File("saved.json"))) << c.path;
        EXPECT_FALSE(testsupport::FileExists(folder.File("saved.txt"))) << c.path;
    }
}

TEST_F(StudioEndpointsTest, StateTellsTheVirtualDeviceAndItsIdentity) {
    const auto state = Body(Send("GET", "/api/state"));
    EXPECT_TRUE(state.value("connected", false));
    EXPECT_TRUE(state.value("virtual", false));
    EXPECT_EQ(state.value("state", ""), "idle");
    EXPECT_FALSE(state["device"].value("serial", "").empty());
    EXPECT_EQ(state["device"].value("port", ""), server->Session().VirtualPort());
    EXPECT_TRUE(state["lastError"].is_null());
}

TEST_F(StudioEndpointsTest, DisconnectAndConnectAgainByPortAndAsVirtual) {
    auto r = Send("POST", "/api/disconnect");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_FALSE(Body(r).value("connected", true));
    EXPECT_FALSE(Connected());
    // Stop is allowed without a device too.
    EXPECT_EQ(Send("POST", "/api/stop")->status, 200);
    r = Send("POST", "/api/connect", nlohmann::json{{"device", server->Session().VirtualPort()}}.dump());
    EXPECT_EQ(r->status, 200) << r->body;
    EXPECT_TRUE(Connected());
    EXPECT_TRUE(Body(r).value("virtual", false));
    Send("POST", "/api/disconnect");
    r = Send("POST", "/api/connect", R"({"virtual": true})");
    EXPECT_EQ(r->status, 200) << r->body;
    EXPECT_TRUE(Connected());
}

TEST_F(StudioEndpointsTest, StopLeavesTheDeviceIdleWithEveryLaserLineOff) {
    const auto r = Send("POST", "/api/stop");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    EXPECT_TRUE(Body(r).value("ok", false));
    EXPECT_EQ(Body(r)["state"].value("state", ""), "idle");
    EXPECT_TRUE(Connected());
}

TEST_F(StudioEndpointsTest, DevicesListTheConnectedVirtualDevice) {
    const auto devices = Body(Send("GET", "/api/devices"))["devices"];
    ASSERT_EQ(devices.size(), 1u) << devices.dump();
    EXPECT_EQ(devices[0].value("port", ""), server->Session().VirtualPort());
    EXPECT_TRUE(devices[0].value("connected", false));
    EXPECT_TRUE(devices[0].value("virtual", false));
}

TEST_F(StudioEndpointsTest, FilesListFoldersFirstWithKinds) {
    std::filesystem::create_directory(folder.File("zeta"));
    WriteFile(folder.File("a.json"), "{}");
    WriteFile(folder.File("b.tif"), "x");
    WriteFile(folder.File("zeta/c.png"), "x");
    const auto root = Body(Send("GET", "/api/files"));
    ASSERT_EQ(root["entries"].size(), 3u) << root.dump();
    EXPECT_EQ(root["entries"][0].value("kind", ""), "folder");
    EXPECT_EQ(root["entries"][1].value("kind", ""), "sequence");
    EXPECT_EQ(root["entries"][2].value("kind", ""), "image");
    const auto sub = Body(Send("GET", "/api/files?dir=zeta"));
    EXPECT_EQ(sub.value("dir", ""), "zeta");
    ASSERT_EQ(sub["entries"].size(), 1u);
    EXPECT_EQ(sub["entries"][0].value("path", ""), "zeta/c.png");
}

TEST_F(StudioEndpointsTest, OpenGivesTheDocumentAndTheCompilersTiming) {
    WriteFile(folder.File("two.json"), testsupport::kTwoPointSequence);
    const auto opened = Body(Send("GET", "/api/sequence?path=two.json"));
    EXPECT_EQ(opened.value("path", ""), "two.json");
    EXPECT_EQ(opened["document"]["elements"].size(), 2u);
    const auto& check = opened["check"];
    EXPECT_TRUE(check.value("ok", false)) << check.dump();
    ASSERT_EQ(check["elements"].size(), 2u);
    // The second point repeats twice as often, and starts where the first ends.
    const auto& e = check["elements"];
    EXPECT_GT(e[1].value("duration", 0u), e[0].value("duration", 0u));
    EXPECT_EQ(e[1].value("start", 0u), e[0].value("start", 0u) + e[0].value("duration", 0u));
    EXPECT_GT(check.value("deviceMemoryBytes", 0u), 0u);
}

TEST_F(StudioEndpointsTest, SaveWritesWhatTheReaderReadsBack) {
    const auto r = Send("PUT", "/api/sequence?path=saved.json", testsupport::kTwoPointSequence);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(Body(r).value("bytes", 0u), ReadFile(folder.File("saved.json")).size());
    const sequence_file::SequenceFile back = sequence_file::ReadSequenceFile(folder.File("saved.json"));
    ASSERT_EQ(back.elements.size(), 2u);
    EXPECT_EQ(back.elements[1].type, "point");
    // Opening the saved file gives the same timing as checking the document.
    const auto opened = Body(Send("GET", "/api/sequence?path=saved.json"));
    const auto checked = Body(Send("POST", "/api/sequence/check", testsupport::kTwoPointSequence));
    EXPECT_EQ(opened["check"]["elements"], checked["elements"]);
    EXPECT_EQ(opened["check"].value("endTick", 0u), checked.value("endTick", 1u));
}

TEST_F(StudioEndpointsTest, AFaultyDocumentLeavesTheSavedFileAsItWas) {
    WriteFile(folder.File("keep.json"), testsupport::kTwoPointSequence);
    const auto r = Send("PUT", "/api/sequence?path=keep.json", R"({"lasers": [], "elements": [{"type": "x"}]})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_EQ(Body(r).value("pointer", ""), "/elements/0/type") << r->body;
    EXPECT_EQ(ReadFile(folder.File("keep.json")), testsupport::kTwoPointSequence);
}

TEST_F(StudioEndpointsTest, CheckNamesTheFirstInvalidElement) {
    nlohmann::json doc = nlohmann::json::parse(testsupport::kTwoPointSequence);
    doc["elements"][1]["intensity"] = 20000;  // above the laser's maximum
    const auto r = Send("POST", "/api/sequence/check", doc.dump());
    ASSERT_TRUE(r);
    const auto body = Body(r);
    ASSERT_TRUE(r->status == 200 || r->status == 400) << r->body;
    const std::string pointer = r->status == 200 ? body["error"].value("pointer", "") : body.value("pointer", "");
    EXPECT_EQ(pointer.rfind("/elements/1", 0), 0u) << r->body;
    if (r->status == 200) EXPECT_FALSE(body.value("ok", true));
}

TEST_F(StudioEndpointsTest, TwoEventStreamsSeeTheSameStateChange) {
    std::vector<std::string> seen(2);
    std::vector<std::thread> tabs;
    for (int i = 0; i < 2; ++i)
        tabs.emplace_back([&, i] {
            httplib::Client tab("127.0.0.1", server->Port());
            tab.set_read_timeout(5, 0);
            httplib::Headers headers = {{"Host", Own()}, {"Cookie", "korvan_studio_token=" + server->Policy().Token()}};
            tab.Get("/api/events", headers, [&](const char* data, size_t length) {
                seen[i].append(data, length);
                return seen[i].find("\"connected\":false") == std::string::npos;  // until the change arrives
            });
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Send("POST", "/api/disconnect");
    for (auto& t : tabs) t.join();
    for (const std::string& stream : seen) {
        EXPECT_NE(stream.find("event: state\ndata: "), std::string::npos) << stream;
        EXPECT_NE(stream.find("\"connected\":true"), std::string::npos) << stream;
        EXPECT_NE(stream.find("\"connected\":false"), std::string::npos) << stream;
    }
}

TEST_F(StudioEndpointsTest, JsonAnswersAreNotCompressedEvenWhenTheClientAsksForIt) {
    // Browsers ask for br and gzip; a compressed check answer of a large document costs the page
    // more time than the check itself.
    std::string sequence = R"({"tickTime": 50, "units": "device", "lasers": [{"name": "blue", "port": "laser1"}],
                              "elements": [)";
    for (int i = 0; i < 300; ++i)
        sequence += (i ? "," : "") + std::string(R"({"type": "point", "laser": "blue", "at": [)") +
                    std::to_string(1000 + 100 * i) + ", 2000]}";
    sequence += "]}";
    const httplib::Headers headers = {{"Cookie", "korvan_studio_token=" + server->Policy().Token()},
                                      {"Host", Own()},
                                      {"Origin", "http://" + Own()},
                                      {"X-Korvan-Studio", "1"},
                                      {"Accept-Encoding", "gzip, deflate, br"}};
    for (const std::string path : {"/api/sequence/check", "/api/state", "/api/nothing"}) {
        const auto r = path == "/api/sequence/check" ? client->Post(path.c_str(), headers, sequence, "application/json")
                                                     : client->Get(path.c_str(), headers);
        ASSERT_TRUE(r) << path;
        EXPECT_FALSE(r->has_header("Content-Encoding")) << path << ": " << r->get_header_value("Content-Encoding");
        EXPECT_EQ(r->get_header_value("Content-Type").rfind("application/json", 0), 0u) << path;
        EXPECT_TRUE(nlohmann::json::accept(r->body)) << path;
    }
    // The page itself may still be compressed: the same client gets it, so the header was heard.
    const auto page = client->Get("/studio.css", headers);
    ASSERT_TRUE(page);
    EXPECT_TRUE(page->has_header("Content-Encoding"));
}

TEST_F(StudioEndpointsTest, ThePageIsServedFromTheProgram) {
    for (const auto& [path, type] : std::vector<std::pair<std::string, std::string>>{
             {"/", "text/html"}, {"/studio.js", "text/javascript"}, {"/studio.css", "text/css"}}) {
        const auto r = Send("GET", path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 200) << path;
        EXPECT_EQ(r->get_header_value("Content-Type").rfind(type, 0), 0u) << path;
        EXPECT_GT(r->body.size(), 100u) << path;
    }
    EXPECT_NE(Send("GET", "/")->body.find("studio.js"), std::string::npos);
}

}  // namespace
