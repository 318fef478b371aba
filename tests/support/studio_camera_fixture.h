#pragma once
// The studio served with the virtual device, connected, and what the camera side's tests share:
// waiting for a calibration run to end, the virtual camera's own mapping as the truth to compare
// with, and the executed timeline read as "where were the mirrors while the laser was lit".
#include <support/studio_server_fixture.h>

#include <sim/image/timeline.h>
#include <sim/virtual_camera.h>

#include <chrono>
#include <thread>
#include <vector>

namespace testsupport {

class StudioCameraTest : public StudioServerTest {
protected:
    void SetUp() override {
        StudioServerTest::SetUp();
        const auto r = Send("POST", "/api/connect", R"({"virtual":true})");
        ASSERT_TRUE(r && r->status == 200) << (r ? r->body : "no answer");
        camera = std::make_unique<sim::VirtualCamera>(*server->Session().VirtualDevice());
    }
    void TearDown() override {
        camera.reset();
        StudioServerTest::TearDown();
    }

    /// state.calibration once `done(part)` holds, or the last one seen after `seconds`.
    template <class Done>
    nlohmann::json WaitForCalibration(Done done, double seconds = 60) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        nlohmann::json part;
        while (std::chrono::steady_clock::now() < end) {
            part = Body(Send("GET", "/api/state")).value("calibration", nlohmann::json());
            if (!part.is_null() && done(part)) return part;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return part;
    }
    /// The run's end: any phase but "running" and "waiting-click".
    nlohmann::json WaitForCalibrationEnd(double seconds = 60) {
        return WaitForCalibration(
            [](const nlohmann::json& p) {
                const std::string phase = p.value("phase", "");
                return phase != "running" && phase != "waiting-click";
            },
            seconds);
    }

    /// Starts a calibration run and waits for its end.
    nlohmann::json Calibrate(const std::string& body = R"({"points":16,"port":"laser1","intensity":2000})") {
        const auto r = Send("POST", "/api/calibration/start", body);
        EXPECT_TRUE(r && r->status == 202) << (r ? r->body : "no answer");
        return WaitForCalibrationEnd();
    }

    /// Whether the virtual camera sees a lit laser now.
    bool LaserLit() { return camera->Look().visible; }

    /// One stretch of the executed timeline with the laser line at its lit level: where the mirrors
    /// stood at each record inside it.
    struct LitStretch {
        uint64_t fromUs = 0, toUs = 0;
        std::vector<std::pair<int, int>> mirrors;
    };
    /// The lit stretches of laser line `line` (6 for laser output 1) in the executed timeline.
    std::vector<LitStretch> LitStretches(int line = 6) {
        const sim::image::Timeline timeline = server->Session().VirtualDevice()->ExecutedTimeline();
        std::vector<LitStretch> out;
        int x = -1, y = -1;
        bool lit = false;
        for (const sim::image::Record& r : timeline.Records()) {
            if (r.event == sim::image::Event::MirrorX) x = static_cast<int>(r.value);
            if (r.event == sim::image::Event::MirrorY) y = static_cast<int>(r.value);
            if (r.event == sim::image::Event::Line && r.channel == line) {
                if (r.value != 0 && !lit) out.push_back({r.timeUs, r.timeUs, {}});
                if (r.value == 0 && lit) out.back().toUs = r.timeUs;
                lit = r.value != 0;
            }
            if (lit) out.back().mirrors.emplace_back(x, y);
        }
        return out;
    }

    std::unique_ptr<sim::VirtualCamera> camera;
};

}  // namespace testsupport
