#pragma once
// Looks at the progress window from outside, as a person would see it: the top-level window
// with the given caption and the progress control inside it. Windows only.
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace testsupport {

struct ProgressWindowView {
    HWND window = nullptr;
    HWND control = nullptr;
    int position = -1;        // the control's position
    int low = -1, high = -1;  // the control's range
    bool visible = false;
    bool topMost = false;
};

// Every window of the progress window's class, to count them.
inline int CountProgressWindows() {
    int count = 0;
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, L"ProgressWindowClass", nullptr)) != nullptr) ++count;
    return count;
}

// The progress window captioned `caption`; `window` is null when there is none.
inline ProgressWindowView FindProgressWindow(const std::wstring& caption) {
    ProgressWindowView view;
    view.window = FindWindowW(L"ProgressWindowClass", caption.c_str());
    if (view.window == nullptr) return view;
    view.visible = IsWindowVisible(view.window) != 0;
    view.topMost = (GetWindowLongW(view.window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    view.control = FindWindowExW(view.window, nullptr, PROGRESS_CLASSW, nullptr);
    if (view.control == nullptr) return view;
    view.position = static_cast<int>(SendMessageW(view.control, PBM_GETPOS, 0, 0));
    PBRANGE range{};
    SendMessageW(view.control, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    view.low = range.iLow;
    view.high = range.iHigh;
    return view;
}

}  // namespace testsupport
