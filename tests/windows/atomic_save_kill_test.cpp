// Crash-safe saves on Windows: a child process saves an INI file in a loop, two versions in
// turn, and is ended with TerminateProcess at a random moment, many times over. After every
// kill the file is byte for byte one of the two versions, and the only other file that may
// remain is the save's own temporary ("<file>.tmp<pid>.<n>") of the killed child.
#include <tessel/config/ini_file.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::wstring ChildProgram() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (fs::path(self).parent_path() / L"atomic_save_child.exe").wstring();
}

std::string Listing(const fs::path& folder) {
    std::string names;
    for (const auto& entry : fs::directory_iterator(folder))
        names += entry.path().filename().u8string() + " (" + std::to_string(entry.file_size()) + ") ";
    return names;
}

// Starts the child and waits until its first save is done; null when it could not be started.
HANDLE StartChild(const std::wstring& program, const fs::path& file, const char* a, const char* b, DWORD* pid) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE started = CreateEventW(&inherited, TRUE, FALSE, nullptr);
    if (started == nullptr) return nullptr;
    const std::wstring quote = L"\"";
    const auto wide = [](const char* s) { return std::wstring(s, s + std::char_traits<char>::length(s)); };
    std::wstring line = quote + program + quote + L" " + quote + file.wstring() + quote + L" " + quote + wide(a) +
                        quote + L" " + quote + wide(b) + quote + L" " +
                        std::to_wstring(reinterpret_cast<std::uintptr_t>(started));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const bool ok =
        CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    if (ok) {
        CloseHandle(process.hThread);
        *pid = process.dwProcessId;
        // Started, or ended early (then the checks below show why).
        const HANDLE either[] = {started, process.hProcess};
        WaitForMultipleObjects(2, either, FALSE, 10000);
    }
    CloseHandle(started);
    return ok ? process.hProcess : nullptr;
}

TEST(Win32KilledWhileSaving, IniFileIsTheOldOrTheNewOneAndOnlyTheSavesTemporaryRemains) {
    testsupport::TempDir dir;
    const fs::path path = fs::u8path(dir.File("settings.ini"));
    const std::string utf8 = path.u8string();
    {
        // A file of some size, so that writing it back takes a while.
        std::string content;
        for (int s = 0; s < 40; ++s) {
            content += "[Section" + std::to_string(s) + "]\n";
            for (int k = 0; k < 20; ++k)
                content += "Key" + std::to_string(k) + "=value " + std::to_string(s * 100 + k) + "\n";
        }
        testsupport::WriteFile(utf8, content);
    }
    const char* values[2] = {"first", "the second, longer value"};
    std::string bytes[2];
    for (int v = 0; v < 2; ++v) {
        ASSERT_TRUE(CIniFile::SetValue("Key7", values[v], "Section20", utf8.c_str()));
        bytes[v] = testsupport::ReadFile(utf8);
    }
    ASSERT_NE(bytes[0], bytes[1]);

    const std::wstring program = ChildProgram();
    ASSERT_TRUE(fs::exists(program)) << "the helper is built beside this test";
    constexpr int kKills = 40;
    std::mt19937 random(20141);
    std::uniform_int_distribution<int> life(0, 20000);  // µs after the first save; a save takes a few ms
    int landed = 0, interrupted = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        DWORD pid = 0;
        HANDLE child = StartChild(program, path, values[0], values[1], &pid);
        ASSERT_NE(child, nullptr) << "CreateProcessW failed: " << GetLastError();
        std::this_thread::sleep_for(std::chrono::microseconds(life(random)));
        TerminateProcess(child, 99);
        WaitForSingleObject(child, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(child, &code);
        CloseHandle(child);
        if (code == 99) ++landed;

        const std::string now = testsupport::ReadFile(utf8);
        ASSERT_TRUE(now == bytes[0] || now == bytes[1])
            << "after kill " << kill << ": " << (fs::exists(path) ? std::to_string(now.size()) + " bytes" : "no file")
            << "; beside it: " << Listing(fs::u8path(dir.Path()));
        CIniFile ini;
        const auto length = ini.LoadValue("Key7", "Section20", utf8.c_str());
        ASSERT_GT(length, 0u);
        std::string value(length, '\0');
        ini.GetValueData(value.data());
        value.resize(length - 1);
        EXPECT_EQ(value, values[now == bytes[0] ? 0 : 1]) << "after kill " << kill;

        // What the save documents: the killed child's temporary at most, nothing else.
        const std::string ownTemporary = "settings.ini.tmp" + std::to_string(pid) + ".";
        std::vector<std::string> strays;
        for (const auto& entry : fs::directory_iterator(fs::u8path(dir.Path()))) {
            const std::string name = entry.path().filename().u8string();
            if (name == "settings.ini") continue;
            if (name.rfind(ownTemporary, 0) == 0) {
                ++interrupted;
                fs::remove(entry.path());
                continue;
            }
            strays.push_back(name);
        }
        ASSERT_TRUE(strays.empty()) << "after kill " << kill << " a stray file: " << strays.front();
    }
    EXPECT_EQ(landed, kKills) << "the child never ends by itself";
    std::printf("%d kills, %d inside a save\n", landed, interrupted);
}

}  // namespace
