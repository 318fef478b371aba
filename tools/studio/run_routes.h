#pragma once
// Running from the studio: upload with progress, start, follow, the executed timeline for the
// replay, and the preview overlays of a document.
//
//   POST /api/run                {"path"} or {"document", "path"?}, "input", "trigger", "runs" -> 202;
//                                the run goes on in the background and shows in state.run
//   GET  /api/run/timeline?since=K  what the virtual device executed since record K
//   POST /api/sequence/preview   a document's beam paths in camera pixels, dose grid, timing, strip
#include "tools/studio/device_session.h"
#include "tools/studio/folder_access.h"

#include <korvan/calibration/calibration.h>
#include <sequence_file/compiled_sequence.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tools::studio {

class RunStudio {
public:
    RunStudio(DeviceSession& session, const Folder& folder);
    /// Ends its background work (if any) before the session goes.
    ~RunStudio();
    RunStudio(const RunStudio&) = delete;
    RunStudio& operator=(const RunStudio&) = delete;

    /// Adds its endpoints to the server.
    void Route(httplib::Server& server);

    /// Reads, compiles and defines the document `body` names, then uploads, starts and follows it
    /// on a background thread. Throws RequestError 409 while a run is active or without a device,
    /// InputError (400 with the pointer) for a faulty document, before anything is started.
    void StartRun(const nlohmann::json& body);
    /// {"records": [{"t", "x", "y", "camera", "lit"}], "next", "ended", "litNow"}: the virtual
    /// device's executed timeline from record `since` on, one record per instant. 409 without a
    /// virtual device.
    nlohmann::json Timeline(size_t since);

private:
    struct Job;
    void Follow(std::unique_ptr<Job> job);

    DeviceSession& session_;
    const Folder& folder_;
    std::mutex mutex_;  // guards the members below
    std::thread worker_;
    std::vector<sequence_file::PreviewLaser> lasers_;  // of the last run: which lines light
    std::unique_ptr<Calibration> camera_;              // the last run's first calibration, or null
    std::atomic<bool> active_{false}, closing_{false};
};

/// The preview of a document (see the file comment); calibration paths are taken from the folder
/// of `path` (the studio's folder when empty). Throws InputError for a faulty document.
nlohmann::json PreviewSequence(const Folder& folder, const std::string& path, const std::string& body);

}  // namespace tools::studio
