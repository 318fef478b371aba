#pragma once
// Running from the studio: upload with progress, start, follow, the executed timeline for the
// replay, and the preview overlays of a document.
#include "tools/studio/device_session.h"
#include "tools/studio/folder_access.h"

#include <httplib.h>

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

private:
    DeviceSession& session_;
    const Folder& folder_;
};

}  // namespace tools::studio
