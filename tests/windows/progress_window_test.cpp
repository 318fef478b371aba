// The progress window on Windows: the three progress functions drive a top-level window with the
// common progress control, on the display's own thread; looked at here from outside.
#include <tessel/config/progress_bar.h>

#include <gtest/gtest.h>

#include "support/progress_window_probe.h"

#include <windows.h>

#include <climits>

namespace {

using testsupport::CountProgressWindows;
using testsupport::FindProgressWindow;

constexpr char kNoWindow[] = "no progress window could be created here (no desktop?)";

// Shows the display, waits until it has handled a first position and says whether a window
// came up; where none can be created the terminal bar takes over, and the display is closed.
bool WindowShown(const char* title, const wchar_t* caption) {
    if (ShowProgressBar(title) != 1) return false;
    UpdateValue(0);
    if (FindProgressWindow(caption).window != nullptr) return true;
    CloseProgressBar();
    return false;
}

TEST(Win32ProgressWindow, PositionsAreClampedAndShownWhenUpdateReturns) {
    if (!WindowShown("Uploading sequence", L"Uploading sequence")) GTEST_SKIP() << kNoWindow;
    const auto first = FindProgressWindow(L"Uploading sequence");
    ASSERT_NE(first.control, nullptr);
    EXPECT_TRUE(first.visible);
    EXPECT_TRUE(first.topMost);
    EXPECT_EQ(first.low, 0);
    EXPECT_EQ(first.high, 100);

    const struct {
        int asked, shown;
    } cases[] = {{42, 42}, {150, 100}, {-5, 0}, {100, 100}, {1, 1}, {99, 99}, {INT_MIN, 0}, {INT_MAX, 100}};
    for (const auto& c : cases) {
        EXPECT_EQ(UpdateValue(c.asked), 0);
        EXPECT_EQ(FindProgressWindow(L"Uploading sequence").position, c.shown) << "asked " << c.asked;
    }
    EXPECT_EQ(CloseProgressBar(), 0);
    EXPECT_FALSE(IsWindow(first.window));
    EXPECT_EQ(CountProgressWindows(), 0);
}

TEST(Win32ProgressWindow, ANewWindowReplacesTheOldAndOnlyTheNewestIsDriven) {
    if (!WindowShown("first", L"first")) GTEST_SKIP() << kNoWindow;
    UpdateValue(30);
    ASSERT_TRUE(WindowShown(u8"zweites Fenster \u00e4\u00f6\u00fc", L"zweites Fenster \u00e4\u00f6\u00fc"))
        << "the UTF-8 title is the caption";
    UpdateValue(60);
    EXPECT_EQ(FindProgressWindow(L"first").window, nullptr);
    const auto second = FindProgressWindow(L"zweites Fenster \u00e4\u00f6\u00fc");
    EXPECT_EQ(second.position, 60);
    EXPECT_EQ(CountProgressWindows(), 1);
    CloseProgressBar();
    EXPECT_EQ(CountProgressWindows(), 0);
    // Without a window the calls do nothing and still answer.
    EXPECT_EQ(UpdateValue(50), 0);
    EXPECT_EQ(CloseProgressBar(), 0);
}

TEST(Win32ProgressWindow, AWindowClosedByTheUserLeavesTheCallsHarmless) {
    if (!WindowShown("closed by the user", L"closed by the user")) GTEST_SKIP() << kNoWindow;
    const auto view = FindProgressWindow(L"closed by the user");
    // As Alt+F4 would: the window goes, its thread ends, and nobody waits for it any more.
    SendMessageW(view.window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(view.window));
    EXPECT_EQ(UpdateValue(70), 0);
    EXPECT_EQ(CloseProgressBar(), 0);
    EXPECT_EQ(CountProgressWindows(), 0);
}

}  // namespace
