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

// Shows the display and waits until it has handled a first position, so the window (if one
// could be created; the terminal bar takes over where not) exists when this returns.
void ShowAndWait(const char* title) {
    ASSERT_EQ(ShowProgressBar(title), 1);
    ASSERT_EQ(UpdateValue(0), 0);
}

TEST(Win32ProgressWindow, PositionsAreClampedAndShownWhenUpdateReturns) {
    ShowAndWait("Uploading sequence");
    const auto first = FindProgressWindow(L"Uploading sequence");
    if (first.window == nullptr) {
        CloseProgressBar();
        GTEST_SKIP() << "no progress window could be created here (no desktop?)";
    }
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
    ShowAndWait("first");
    if (FindProgressWindow(L"first").window == nullptr) {
        CloseProgressBar();
        GTEST_SKIP() << "no progress window could be created here (no desktop?)";
    }
    UpdateValue(30);
    ShowAndWait(u8"zweites Fenster \u00e4\u00f6\u00fc");
    UpdateValue(60);
    EXPECT_EQ(FindProgressWindow(L"first").window, nullptr);
    const auto second = FindProgressWindow(L"zweites Fenster \u00e4\u00f6\u00fc");
    EXPECT_EQ(second.position, 60) << "the UTF-8 title is the caption";
    EXPECT_EQ(CountProgressWindows(), 1);
    CloseProgressBar();
    EXPECT_EQ(CountProgressWindows(), 0);
    // Without a window the calls do nothing and still answer.
    EXPECT_EQ(UpdateValue(50), 0);
    EXPECT_EQ(CloseProgressBar(), 0);
}

TEST(Win32ProgressWindow, AWindowClosedByTheUserLeavesTheCallsHarmless) {
    ShowAndWait("closed by the user");
    const auto view = FindProgressWindow(L"closed by the user");
    if (view.window == nullptr) {
        CloseProgressBar();
        GTEST_SKIP() << "no progress window could be created here (no desktop?)";
    }
    // As Alt+F4 would: the window goes, its thread ends, and nobody waits for it any more.
    SendMessageW(view.window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(view.window));
    EXPECT_EQ(UpdateValue(70), 0);
    EXPECT_EQ(CloseProgressBar(), 0);
    EXPECT_EQ(CountProgressWindows(), 0);
}

}  // namespace
