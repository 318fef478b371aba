#include <tessel/config/detail/progress_display.h>

namespace tessel::detail {

void RunProgressDisplay(const std::string& title, ProgressRequests& requests) { RunTerminalProgress(title, requests); }

}  // namespace tessel::detail
