#include "tools/studio/camera_routes.h"

#include "tools/studio/http_json.h"

namespace tools::studio {

CameraStudio::CameraStudio(DeviceSession& session, const Folder& folder) : session_(session), folder_(folder) {}

CameraStudio::~CameraStudio() = default;

void CameraStudio::Route(httplib::Server&) {}

}  // namespace tools::studio
