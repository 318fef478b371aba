#pragma once
// korvan studio's HTTP server: the page, the JSON interface under /api/ and the event stream,
// every request checked by AccessPolicy first. Runs on its own threads; one object per studio.
//
// The whole interface is listed in docs/studio.md. Refusals are 4xx with {"error": "..."} and
// change nothing. This file serves the page and the device, file and sequence endpoints;
// camera_routes.h and run_routes.h add the camera and the run sides.
#include "tools/studio/access_policy.h"
#include "tools/studio/camera_routes.h"
#include "tools/studio/device_session.h"
#include "tools/studio/folder_access.h"
#include "tools/studio/run_routes.h"

#include <httplib.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace tools::studio {

struct StudioOptions {
    bool virtualDevice = false;  ///< start a built-in virtual device and connect to it
    std::string device;          ///< connect to this port or serial number at the start
    ListenAddress listen;        ///< 127.0.0.1, a free port, unless the user chose
    std::string folder = ".";    ///< the only folder the page may read and write
};

class StudioServer {
public:
    /// Starts the device session, binds the address and serves on background threads. Throws
    /// DeviceError (device), UsageError (address taken) or std::runtime_error (folder).
    explicit StudioServer(const StudioOptions& options);
    /// Stop, then the session ends: sequences stopped, lasers off, device handed back.
    ~StudioServer();
    StudioServer(const StudioServer&) = delete;
    StudioServer& operator=(const StudioServer&) = delete;

    /// Ends the event streams and the server; idempotent.
    void Stop();

    int Port() const { return port_; }
    const AccessPolicy& Policy() const { return *policy_; }
    DeviceSession& Session() { return *session_; }

private:
    void Route();
    void ServeEvents(httplib::Response& res);

    std::unique_ptr<DeviceSession> session_;
    Folder folder_;
    httplib::Server server_;
    int port_ = 0;
    std::unique_ptr<AccessPolicy> policy_;
    std::unique_ptr<CameraStudio> camera_;
    std::unique_ptr<RunStudio> run_;
    std::atomic<bool> stopping_{false};
    std::thread serving_, watching_;
};

}  // namespace tools::studio
