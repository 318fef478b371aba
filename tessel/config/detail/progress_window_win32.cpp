// The progress display on Windows: a small top-most window holding the common progress
// control, created and pumped on the display's own thread. Requests reach it as a posted
// message, so they are handled even while the window is being moved (the move loop dispatches
// posted messages too). Consoles keep the terminal bar, and so does any program in which the
// window cannot be created (no desktop, no control class).
#include <tessel/config/detail/progress_display.h>
#include <tessel/config/detail/terminal.h>
#include <tessel/config/detail/wide_path.h>

#include <windows.h>
#include <commctrl.h>

namespace tessel::detail {
namespace {

constexpr wchar_t kClassName[] = L"ProgressWindowClass";
constexpr UINT kRequestsQueued = WM_APP + 1;
constexpr int kControlId = 102;
constexpr int kWidth = 300;
constexpr int kHeight = 50;

struct WindowState {
    ProgressRequests* requests;
    HWND control;
};

// The window class belongs to the module that holds this code (the library, not the program).
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

// Applies every queued request in order; the close destroys the window, which ends the loop.
void HandleRequests(HWND window, WindowState& state) {
    std::uint64_t shown = 0;
    for (const ProgressRequest& r : state.requests->TakeAll()) {
        if (r.close) {
            state.requests->Handled(shown);
            DestroyWindow(window);
            return;
        }
        SendMessageW(state.control, PBM_SETPOS, static_cast<WPARAM>(r.percent), 0);
        ++shown;
    }
    UpdateWindow(state.control);  // painted before the callers hear it is shown
    state.requests->Handled(shown);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE: {
        state = static_cast<WindowState*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        RECT client{};
        GetClientRect(window, &client);
        state->control =
            CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom,
                            window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)), ThisModule(), nullptr);
        if (state->control == nullptr) return -1;  // the window is not created either
        SendMessageW(state->control, PBM_SETRANGE32, 0, 100);
        SendMessageW(state->control, PBM_SETSTEP, 1, 0);
        return 0;
    }
    case kRequestsQueued:
        if (state != nullptr) HandleRequests(window, *state);
        return 0;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool RegisterWindowClass() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = ThisModule();
    // The stock resources are numbers, spelled as narrow names without UNICODE.
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kClassName;
    // Registered once for the life of the process; later windows reuse it.
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Shows the window and runs its message loop until it is destroyed; false when it could not
// be created (nothing was handled then).
bool RunWindow(const std::string& title, ProgressRequests& requests) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    if (!InitCommonControlsEx(&controls) || !RegisterWindowClass()) return false;
    const std::wstring caption = WideFromUtf8(title.c_str());
    WindowState state{&requests, nullptr};
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - kWidth / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - kHeight / 2;
    HWND window = CreateWindowExW(WS_EX_TOPMOST, kClassName, caption.c_str(), WS_OVERLAPPED | WS_MINIMIZEBOX, x, y,
                                  kWidth, kHeight, nullptr, nullptr, ThisModule(), &state);
    if (window == nullptr) return false;
    // Not activated: the program that shows progress keeps the keyboard.
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    requests.SetWaker([window] { PostMessageW(window, kRequestsQueued, 0, 0); });
    PostMessageW(window, kRequestsQueued, 0, 0);  // requests queued before the waker was set

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    requests.Finish();
    return true;
}

}  // namespace

void RunProgressDisplay(const std::string& title, ProgressRequests& requests) {
    if (stderrIsTerminal() || !RunWindow(title, requests)) RunTerminalProgress(title, requests);
}

}  // namespace tessel::detail
