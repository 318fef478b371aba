// The Win32 layer under Wine (or Windows): atomic saves through ReplaceFileW/MoveFileExW with
// UTF-8 paths, the port enumeration scan, and opening ports that are not there.
#include <korvan/korvan.h>
#include <tessel/config/ini_file.h>
#include <tessel/serial/detail/serial_platform.h>
#include <tessel/serial/rs232.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The file as the wide Windows calls see it: proves the UTF-8 name reached the file system intact.
std::string ReadWide(const fs::path& path) {
    HANDLE file =
        CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(file, &content[0], static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(file);
    content.resize(got);
    return content;
}

// The names in `folder`, so that a leftover temporary shows in the failure.
std::vector<std::string> EntriesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Win32AtomicSave, NewAndReplacedFilesUnderUtf8NamesLeaveNoTemporaries) {
    testsupport::TempDir dir;
    const char* names[] = {"plain.ini", u8"kalibrierung-\u00e4\u00f6\u00fc.ini", u8"\u30ec\u30fc\u30b6\u30fc.ini"};
    for (const char* name : names) {
        const fs::path path = fs::u8path(dir.Path()) / fs::u8path(name);
        const std::string utf8 = path.u8string();
        ASSERT_TRUE(CIniFile::Create(utf8.c_str())) << name;                        // MoveFileExW: a new file
        ASSERT_TRUE(CIniFile::SetValue("a", "1", "S", utf8.c_str())) << name;       // ReplaceFileW
        ASSERT_TRUE(CIniFile::SetValue("b", "second", "S", utf8.c_str())) << name;  // and again
        const std::string content = ReadWide(path);
        EXPECT_NE(content.find("a=1"), std::string::npos) << name << ": " << content;
        EXPECT_NE(content.find("b=second"), std::string::npos) << name << ": " << content;
    }
    EXPECT_EQ(EntriesIn(fs::u8path(dir.Path())).size(), std::size(names));
}

TEST(Win32AtomicSave, AFolderOrAMissingFolderIsNotReplaced) {
    testsupport::TempDir dir;
    const fs::path folder = fs::u8path(dir.Path()) / "folder.ini";
    fs::create_directory(folder);
    EXPECT_FALSE(CIniFile::Create(folder.u8string().c_str()));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(CIniFile::Create((fs::u8path(dir.Path()) / "absent" / "x.ini").u8string().c_str()));
    EXPECT_EQ(EntriesIn(fs::u8path(dir.Path())), std::vector<std::string>{"folder.ini"});
}

TEST(Win32AtomicSave, AFileAnotherHandleHoldsKeepsItsContent) {
    testsupport::TempDir dir;
    const fs::path path = fs::u8path(dir.Path()) / "held.ini";
    ASSERT_TRUE(CIniFile::Create(path.u8string().c_str()));
    ASSERT_TRUE(CIniFile::SetValue("k", "old", "S", path.u8string().c_str()));
    // Held without delete sharing: Windows refuses to replace it, and the old content stays.
    HANDLE holder =
        CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CIniFile::SetValue("k", "new", "S", path.u8string().c_str()));
    CloseHandle(holder);
    EXPECT_NE(ReadWide(path).find("k=old"), std::string::npos);
    // Our temporary is gone.
    for (const std::string& name : EntriesIn(fs::u8path(dir.Path())))
        EXPECT_EQ(name.find("held.ini.tmp"), std::string::npos) << name;
}

TEST(Win32Ports, TheScanListsOnlyComNamesInAscendingOrder) {
    const tessel::detail::PortCandidates found = tessel::detail::ScanSerialPorts();
    long previous = -1;
    for (const std::string& name : found.fallbackNames) {
        ASSERT_EQ(name.rfind("COM", 0), 0u) << name;
        const long n = std::strtol(name.c_str() + 3, nullptr, 10);
        EXPECT_GT(n, previous) << name;
        previous = n;
    }
    for (const std::string& friendly : found.friendlyNames) EXPECT_NE(friendly.find("(COM"), std::string::npos);
    EXPECT_TRUE(found.consoles.empty());
}

TEST(Win32Ports, PortsThatAreNotThereDoNotOpen) {
    // COM250 is linked by no test; the device path form and garbage fail the same way.
    for (const char* name : {"COM250", "\\\\.\\COM251", "NOSUCHPORT"}) {
        RS232 port;
        EXPECT_FALSE(port.Connect(const_cast<char*>(name))) << name;
        EXPECT_FALSE(port.IsConnected()) << name;
    }
}

}  // namespace
