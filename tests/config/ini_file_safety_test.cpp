#include <tessel/config/ini_file.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

class ConfigIniSafety : public ::testing::Test {
protected:
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));
    }

    TempDir dir;
    std::string path = dir.File("settings.ini");
    const char* file = path.c_str();
};

TEST_F(ConfigIniSafety, HeadingWithoutBracketFailsEveryOperation) {
    const std::string content = "[Good]\nk=1\n[Broken\nj=2\n";
    WriteFile(path, content);
    EXPECT_FALSE(CIniFile::SetValue("k", "2", "Good", file));
    EXPECT_FALSE(CIniFile::AddSection("New", file));
    EXPECT_FALSE(CIniFile::SectionExists("Good", file));
    EXPECT_FALSE(CIniFile::RecordExists("k", "Good", file));
    EXPECT_FALSE(CIniFile::DeleteSection("Good", file));
    EXPECT_FALSE(CIniFile::Sort(file, false));
    CIniFile ini;
    EXPECT_EQ(ini.LoadValue("k", "Good", file), 1u);
    EXPECT_EQ(ReadFile(path), content);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(ConfigIniSafety, NullArgumentsFail) {
    ASSERT_TRUE(CIniFile::Create(file));
    EXPECT_FALSE(CIniFile::Create(nullptr));
    EXPECT_FALSE(CIniFile::SetValue(nullptr, "v", "S", file));
    EXPECT_FALSE(CIniFile::SetValue("k", "v", "S", nullptr));
    EXPECT_FALSE(CIniFile::SectionExists("S", nullptr));
    CIniFile ini;
    EXPECT_EQ(ini.LoadValue(nullptr, "S", file), 1u);
    ini.GetValueData(nullptr);
    EXPECT_EQ(ReadFile(path), "");
}

TEST_F(ConfigIniSafety, FailedWriteKeepsTheOldFile) {
    const std::string content = "[S]\nk=1\n";
    WriteFile(path, content);
    // Files may not grow beyond 16 bytes: the rewrite fails half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = CIniFile::SetValue("long_key", "a value that does not fit", "S", file);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(path), content);
    EXPECT_EQ(entries(), 1u) << "temporary file left behind";
    EXPECT_TRUE(CIniFile::SetValue("long_key", "fits now", "S", file));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(ConfigIniSafety, TargetThatIsADirectoryIsRefused) {
    fs::create_directory(path);
    EXPECT_FALSE(CIniFile::Create(file));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(entries(), 1u);
    EXPECT_FALSE(CIniFile::Create(dir.File("no/such/dir.ini").c_str()));
}

TEST_F(ConfigIniSafety, RewriteKeepsPermissionsAndSymbolicLinks) {
    WriteFile(path, "[S]\nk=1\n");
    ASSERT_EQ(::chmod(file, 0640), 0);
    const std::string link = dir.File("link.ini");
    fs::create_symlink(path, link);
    ASSERT_TRUE(CIniFile::SetValue("k", "2", "S", link.c_str()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(path), " [S]\n k=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(file, &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), 2u);
}

TEST_F(ConfigIniSafety, WindowsLineEndsAreRead) {
    WriteFile(path, "[S]\r\nk=1\r\n");
    CIniFile ini;
    EXPECT_EQ(ini.LoadValue("k", "S", file), 2u);
    ASSERT_TRUE(CIniFile::SetValue("k", "2", "S", file));
    EXPECT_EQ(ReadFile(path), " [S]\n k=2\n");
}

}  // namespace
