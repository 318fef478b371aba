#pragma once
// The seam between the progress functions and the platform's display. The display's thread
// runs RunProgressDisplay, which shows the title with the bar at 0, handles requests until the
// close (or until the user closes a window), then removes the display and calls Finish.
#include <tessel/config/detail/progress_requests.h>

#include <cstddef>
#include <string>

namespace tessel::detail {

/// One file per platform: a window on Windows unless standard error is a console, the
/// terminal bar elsewhere.
void RunProgressDisplay(const std::string& title, ProgressRequests& requests);

/// The one-line bar on standard error (drawn only when that is a terminal); every platform's
/// console form and the window's fallback.
void RunTerminalProgress(const std::string& title, ProgressRequests& requests);

/// text cut to at most limit bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, std::size_t limit);

}  // namespace tessel::detail
