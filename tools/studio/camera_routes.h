#pragma once
// The camera side of the studio: images (stacks, PNG, the virtual camera's frame), guided
// calibration with its quality report, the camera region, and point-and-shoot.
#include "tools/studio/device_session.h"
#include "tools/studio/folder_access.h"

#include <korvan/calibration/calibration.h>
#include <korvan/calibration/camera_region.h>
#include <nlohmann/json.hpp>

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace sim {
class VirtualCamera;
}

namespace tools::studio {

class CameraStudio {
public:
    CameraStudio(DeviceSession& session, const Folder& folder);
    /// Ends its background work (if any) before the session goes.
    ~CameraStudio();
    CameraStudio(const CameraStudio&) = delete;
    CameraStudio& operator=(const CameraStudio&) = delete;

    /// Adds its endpoints to the server.
    void Route(httplib::Server& server);

private:
    struct RunRequest {
        unsigned int points = 16;
        int port = 1;  // laser output 1..4
        unsigned int intensity = 2000;
        bool manual = false;  // spots come from the page's clicks, also on the virtual camera
    };

    nlohmann::json CameraJson();
    nlohmann::json TableJson();
    void PutCamera(const nlohmann::json& body);
    std::string FramePngNow();
    void StartCalibration(const nlohmann::json& body);
    void Click(const nlohmann::json& body);
    nlohmann::json SaveTable(const nlohmann::json& body);
    nlohmann::json OpenTable(const nlohmann::json& body);
    nlohmann::json Shoot(const nlohmann::json& body);

    /// The calibration run, on its own thread.
    void RunCalibration(RunRequest request, korvan::CameraRegion region, uint64_t stops);
    void PublishRun();
    sim::VirtualCamera* Camera();

    DeviceSession& session_;
    const Folder& folder_;

    std::mutex mutex_;  // everything below
    korvan::CameraRegion region_;
    std::optional<Calibration> table_;
    korvan::CameraRegion tableRegion_;
    nlohmann::json run_;  // the published state.calibration
    bool running_ = false, waitingClick_ = false, quit_ = false;
    std::optional<RPOINTF> click_;  // the page's spot, image pixels of the run's region
    std::condition_variable clicked_;
    std::thread runner_;

    std::mutex cameraMutex_;  // the camera draws its noise from one generator
    std::unique_ptr<sim::VirtualCamera> camera_;
};

}  // namespace tools::studio
