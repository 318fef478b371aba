#pragma once
// A minimal progress display for long operations: show it, advance it, close
// it. It runs on a thread of its own and draws a one-line bar with the title
// and the percentage on standard error when that is a terminal; when it is
// not, nothing is drawn but the calls behave the same. On Windows, unless
// standard error is a console, it is instead a small top-most window (caption:
// the title) holding the common progress control, centred on the screen; where
// no window can be created, the terminal bar takes over.
//
// There is one display at a time. Showing a new one closes the previous one;
// the other two calls always drive the newest. The functions may be called
// from any thread.
#include <tessel/export.h>

/// Starts the display's thread with the bar at 0 and returns at once. The
/// title is UTF-8 and is copied; a null title counts as empty; a title of 1000 bytes or more is shortened to fewer
/// than 1000 (never inside a UTF-8 character). 1 when the thread could be
/// started, 0 otherwise.
TESSEL_API int ShowProgressBar(const char* title);

/// Moves the bar to percent, clamped to 0..100, and returns once the display
/// has shown it. Without a display it does nothing. Always 0.
TESSEL_API int UpdateValue(int percent);

/// Removes the bar, ends the display's thread and waits for it. Without a
/// display it does nothing. Always 0.
TESSEL_API int CloseProgressBar();
