#pragma once
// korvan studio's HTTP server: the page, the JSON interface under /api/ and the event stream,
// every request checked by AccessPolicy first. Runs on its own threads; one object per studio.
//
// Interface (JSON; refusals are 4xx with {"error": "..."} and change nothing):
//   GET  /api/state            the device state (DeviceSession::State)
//   GET  /api/events           server-sent events: "state" with every change
//   GET  /api/devices          discovered devices
//   POST /api/connect          {"device": "ttyUSB0" or "123-4567"} or {"virtual": true}
//   POST /api/disconnect       hands the device back
//   POST /api/stop             ends every sequence, switches every laser off; always allowed
//   GET  /api/files?dir=       the entries of a folder inside the studio's folder
//   GET  /api/sequence?path=   a sequence file: its document and what the compiler makes of it
//   PUT  /api/sequence?path=   saves a document (body) through the sequence-file writer
//   POST /api/sequence/check   a document (body) compiled offline: per element timing, memory,
//                              or the first invalid element with its reason
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
