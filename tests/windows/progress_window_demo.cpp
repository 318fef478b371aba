// Shows the progress window at a given position and holds it, for a screenshot:
//   progress_window_demo.exe PERCENT HOLD_MS
// Prints "shown X Y WIDTH HEIGHT CX CY CWIDTH CHEIGHT POSITION" (the screen rectangles of the
// window and of its progress control, and the control's position) once the window is up;
// exits 2 when no progress window appeared, 3 when it shows another position.
#include <tessel/config/progress_bar.h>

#include "support/progress_window_probe.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    const int percent = argc > 1 ? std::atoi(argv[1]) : 40;
    const int holdMs = argc > 2 ? std::atoi(argv[2]) : 3000;
    if (ShowProgressBar("Progress check") != 1) return 1;
    UpdateValue(percent);
    const auto view = testsupport::FindProgressWindow(L"Progress check");
    if (view.window == nullptr || view.control == nullptr) {
        std::printf("no progress window\n");
        CloseProgressBar();
        return 2;
    }
    RECT w{}, c{};
    GetWindowRect(view.window, &w);
    GetWindowRect(view.control, &c);
    std::printf("shown %ld %ld %ld %ld %ld %ld %ld %ld %d\n", w.left, w.top, w.right - w.left, w.bottom - w.top, c.left,
                c.top, c.right - c.left, c.bottom - c.top, view.position);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    CloseProgressBar();
    return view.position == percent ? 0 : 3;
}
