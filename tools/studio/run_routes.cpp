#include "tools/studio/run_routes.h"

#include "tools/studio/http_json.h"

namespace tools::studio {

RunStudio::RunStudio(DeviceSession& session, const Folder& folder) : session_(session), folder_(folder) {}

RunStudio::~RunStudio() = default;

void RunStudio::Route(httplib::Server&) {}

}  // namespace tools::studio
