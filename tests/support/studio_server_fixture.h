#pragma once
// korvan studio served in process on a free port with the virtual device, over a fresh folder,
// and a client that sends requests as the studio's page does, or with any one part left out or
// changed. Shared by the studio's interface tests.
#include <support/temp_dir.h>
#include <tools/studio/studio_server.h>

#include <httplib.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace testsupport {

/// How a test request deviates from the page's own.
struct RequestShape {
    enum class Token { Cookie, Query, None, Wrong } token = Token::Cookie;
    std::string host;          ///< "" the server's own address, else this Host header
    std::string origin;        ///< "" the server's origin (state-changing requests), "-" none, else this
    bool customHeader = true;  ///< X-Korvan-Studio: 1 on state-changing requests
};

/// The example sequence: two points with one laser, in device units.
inline const char* kTwoPointSequence = R"({
  "tickTime": 50, "units": "device",
  "lasers": [{"name": "blue", "port": "laser1"}],
  "elements": [
    {"type": "point", "at": [10000, 10000], "laser": "blue", "intensity": 5000, "repeat": 9},
    {"type": "point", "at": [20000, 10000], "laser": "blue", "intensity": 5000, "repeat": 19}
  ]
})";

class StudioServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        tools::studio::StudioOptions options;
        options.virtualDevice = withVirtualDevice;
        options.folder = folder.Path();
        server = std::make_unique<tools::studio::StudioServer>(options);
        client = std::make_unique<httplib::Client>("127.0.0.1", server->Port());
        client->set_read_timeout(10, 0);
    }
    void TearDown() override { server.reset(); }

    std::string Own() const { return "127.0.0.1:" + std::to_string(server->Port()); }

    /// Sends `method` `path` shaped by `shape`; body as JSON when not empty.
    httplib::Result Send(const std::string& method, std::string path, const std::string& body = "",
                         const RequestShape& shape = {}) {
        httplib::Headers headers;
        const std::string& token = server->Policy().Token();
        using Token = RequestShape::Token;
        if (shape.token == Token::Cookie) headers.emplace("Cookie", std::string("korvan_studio_token=") + token);
        if (shape.token == Token::Wrong) headers.emplace("Cookie", "korvan_studio_token=" + std::string(32, '0'));
        if (shape.token == Token::Query) path += (path.find('?') == std::string::npos ? "?token=" : "&token=") + token;
        headers.emplace("Host", shape.host.empty() ? Own() : shape.host);
        const bool changing = method != "GET";
        if (changing && shape.origin != "-")
            headers.emplace("Origin", shape.origin.empty() ? "http://" + Own() : shape.origin);
        if (changing && shape.customHeader) headers.emplace("X-Korvan-Studio", "1");
        if (method == "GET") return client->Get(path.c_str(), headers);
        if (method == "POST") return client->Post(path.c_str(), headers, body, "application/json");
        if (method == "PUT") return client->Put(path.c_str(), headers, body, "application/json");
        return client->Delete(path.c_str(), headers, body, "application/json");
    }

    /// The JSON body of a response (null when it is not JSON).
    static nlohmann::json Body(const httplib::Result& r) {
        return r ? nlohmann::json::parse(r->body, nullptr, false) : nlohmann::json();
    }

    bool Connected() { return Body(Send("GET", "/api/state")).value("connected", false); }

    /// The state once `done(state)` holds, polled; the last state seen (and a test failure) when
    /// it does not within `timeout`.
    nlohmann::json WaitForState(const std::function<bool(const nlohmann::json&)>& done,
                                std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        nlohmann::json state;
        while (std::chrono::steady_clock::now() < end) {
            state = Body(Send("GET", "/api/state"));
            if (state.is_object() && done(state)) return state;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        ADD_FAILURE() << "the state did not arrive; last: " << state.dump();
        return state;
    }

    /// The state once state.run has reached one of its final phases.
    nlohmann::json WaitForRunEnd() {
        return WaitForState([](const nlohmann::json& s) {
            const std::string phase = s.contains("run") ? s["run"].value("phase", "") : "";
            return phase == "ended" || phase == "stopped" || phase == "failed";
        });
    }

    /// Set false (in the test's constructor) for a studio without the virtual device.
    bool withVirtualDevice = true;
    TempDir folder;
    std::unique_ptr<tools::studio::StudioServer> server;
    std::unique_ptr<httplib::Client> client;
};

}  // namespace testsupport
