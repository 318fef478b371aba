#include "tools/detail/console.h"
#include "tools/detail/windows_command_line.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace tools::detail {
namespace {

std::atomic<int> interrupted{0};  // the signal number the event stands for

// Runs on a thread the system starts for the event; returning TRUE keeps the process alive.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT: interrupted = SIGINT; return TRUE;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: interrupted = SIGTERM; return TRUE;
    default: return FALSE;
    }
}

std::wstring Wide(const std::string& utf8) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), n, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}

std::string LastErrorText() { return "error " + std::to_string(::GetLastError()); }

}  // namespace

void CatchInterrupts() {
    interrupted = 0;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int CaughtInterrupt() { return interrupted; }

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool LineEntered() {
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (::GetConsoleMode(in, &mode)) {
        // A console delivers key events; take those waiting and look for Enter going down.
        bool entered = false;
        DWORD waiting = 0;
        while (::GetNumberOfConsoleInputEvents(in, &waiting) && waiting > 0) {
            INPUT_RECORD record;
            DWORD got = 0;
            if (!::ReadConsoleInputW(in, &record, 1, &got) || got == 0) break;
            if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                record.Event.KeyEvent.wVirtualKeyCode == VK_RETURN)
                entered = true;
        }
        return entered;
    }
    char buf[256];
    DWORD got = 0;
    switch (::GetFileType(in)) {
    case FILE_TYPE_PIPE: {
        DWORD available = 0;
        if (!::PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr) || available == 0) return false;
        return ::ReadFile(in, buf, available < sizeof buf ? available : DWORD{sizeof buf}, &got, nullptr) && got > 0;
    }
    case FILE_TYPE_DISK: return ::ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0;
    default: return false;  // NUL and other devices never deliver a line
    }
}

std::string SiblingProgram(const char* name) {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n == 0) return std::string(name) + ".exe";
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);  // a long path: try again with room for it
    }
    const std::string path = Utf8(self);
    return path.substr(0, path.find_last_of("\\/") + 1) + name + ".exe";
}

int HandOver(const std::string& program, const std::vector<std::string>& args, std::string* error) {
    std::wstring line = Wide(WindowsCommandLine(program, args));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    std::fflush(stdout);
    if (!::CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &child)) {
        *error = LastErrorText();
        return -1;
    }
    // The child shares the console and gets Ctrl-C itself; this process waits for its end.
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(child.hProcess, &code);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return static_cast<int>(code);
}

}  // namespace tools::detail
