#pragma once
// The camera side of the studio: images (stacks, PNG, the virtual camera's frame), guided
// calibration with its quality report, the camera region, and point-and-shoot.
#include "tools/studio/device_session.h"
#include "tools/studio/folder_access.h"

#include <httplib.h>

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
    DeviceSession& session_;
    const Folder& folder_;
};

}  // namespace tools::studio
