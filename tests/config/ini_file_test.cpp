#include <tessel/config/ini_file.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

class ConfigIniFile : public ::testing::Test {
protected:
    std::string value(const char* key, const char* section) {
        CIniFile ini;
        const std::uint64_t size = ini.LoadValue(key, section, path.c_str());
        std::string buffer(size, '?');
        ini.GetValueData(buffer.data());
        EXPECT_EQ(buffer.back(), '\0');
        buffer.pop_back();
        return buffer;
    }

    TempDir dir;
    std::string path = dir.File("settings.ini");
    const char* file = path.c_str();
};

TEST_F(ConfigIniFile, NewKeysGoDirectlyAfterTheirHeading) {
    ASSERT_TRUE(CIniFile::Create(file));
    EXPECT_EQ(ReadFile(path), "");
    ASSERT_TRUE(CIniFile::SetValue("K", "1", "S", file));
    EXPECT_EQ(ReadFile(path), " [S]\n K=1\n");
    ASSERT_TRUE(CIniFile::SetValue("L", "2", "S", file));
    EXPECT_EQ(ReadFile(path), " [S]\n L=2\n K=1\n");
    ASSERT_TRUE(CIniFile::SetValue("K", "changed", "S", file));
    EXPECT_EQ(ReadFile(path), " [S]\n L=2\n K=changed\n");
    ASSERT_TRUE(CIniFile::SetValue("K", "3", "T", file));
    EXPECT_EQ(ReadFile(path), " [S]\n L=2\n K=changed\n [T]\n K=3\n");
    EXPECT_EQ(value("K", "S"), "changed");
    EXPECT_EQ(value("K", "T"), "3");
}

TEST_F(ConfigIniFile, CreateReplacesContentAndAddSectionAppends) {
    WriteFile(path, "[Old]\nk=v\n");
    ASSERT_TRUE(CIniFile::Create(file));
    EXPECT_EQ(ReadFile(path), "");
    ASSERT_TRUE(CIniFile::AddSection("A", file));
    ASSERT_TRUE(CIniFile::AddSection("A", file));  // no check for an existing one
    EXPECT_EQ(ReadFile(path), " [A]\n [A]\n");
    EXPECT_TRUE(CIniFile::SectionExists("A", file));
    EXPECT_FALSE(CIniFile::SectionExists("a", file));  // case-sensitive
}

TEST_F(ConfigIniFile, CommentedHeadingStillGroupsItsKeys) {
    WriteFile(path, "  #[Old]  \nx=1\n;y=2\n[New]\nz=3\n");
    EXPECT_TRUE(CIniFile::SectionExists("Old", file));
    EXPECT_TRUE(CIniFile::RecordExists("x", "Old", file));
    EXPECT_TRUE(CIniFile::RecordExists("y", "Old", file));
    EXPECT_EQ(value("y", "Old"), "2");
    ASSERT_TRUE(CIniFile::SetValue("z", "4", "New", file));
    EXPECT_EQ(ReadFile(path), "#[Old]\n x=1\n;y=2\n [New]\n z=4\n");
}

TEST_F(ConfigIniFile, KeysAndValuesAreNotTrimmedAroundEquals) {
    WriteFile(path, "[S]\na = b\nc==d\n");
    CIniFile ini;
    EXPECT_EQ(ini.LoadValue("a", "S", file), 1u);
    EXPECT_EQ(ini.LoadValue("a ", "S", file), 3u);
    char buffer[3];
    ini.GetValueData(buffer);
    EXPECT_STREQ(buffer, " b");
    EXPECT_EQ(value("c", "S"), "=d");
}

TEST_F(ConfigIniFile, CommentsTravelWithTheFollowingLine) {
    WriteFile(path, "#one\n;two\n\n[S]\n# about k\nk=1\n# trailing\n");
    ASSERT_TRUE(CIniFile::SetValue("k", "2", "S", file));
    // Blank lines and the comment at the end of the file are gone.
    EXPECT_EQ(ReadFile(path), "#one\n;two\n [S]\n# about k\n k=2\n");
}

TEST_F(ConfigIniFile, StrayLinesBecomeEmptyHeadingsUnlessACommentIsPending) {
    WriteFile(path, "[S]\nstray\n#note\nlost\nk=1\n");
    ASSERT_TRUE(CIniFile::SetValue("k", "2", "S", file));
    EXPECT_EQ(ReadFile(path), " [S]\n []\n#note\n k=2\n");
}

TEST_F(ConfigIniFile, MissingFile) {
    const std::string missing = dir.File("missing.ini");
    const char* m = missing.c_str();
    EXPECT_TRUE(CIniFile::SectionExists("S", m));
    EXPECT_TRUE(CIniFile::RecordExists("k", "S", m));
    EXPECT_FALSE(CIniFile::SetValue("k", "v", "S", m));
    EXPECT_FALSE(CIniFile::AddSection("S", m));
    EXPECT_FALSE(CIniFile::DeleteSection("S", m));
    EXPECT_FALSE(CIniFile::RenameSection("S", "T", m));
    EXPECT_FALSE(CIniFile::Sort(m, false));
    EXPECT_FALSE(FileExists(missing));
    CIniFile ini;
    EXPECT_EQ(ini.LoadValue("k", "S", m), 1u);
    char buffer[1] = {'x'};
    ini.GetValueData(buffer);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(ConfigIniFile, RecordQueriesAndDeletion) {
    WriteFile(path, "[A]\na=1\n[B]\nb=2\n[A]\nc=3\n");
    EXPECT_TRUE(CIniFile::RecordExists("c", "A", file));
    EXPECT_FALSE(CIniFile::RecordExists("b", "A", file));
    EXPECT_FALSE(CIniFile::DeleteRecord("nope", "A", file));
    EXPECT_EQ(ReadFile(path), "[A]\na=1\n[B]\nb=2\n[A]\nc=3\n");  // untouched
    ASSERT_TRUE(CIniFile::DeleteRecord("b", "B", file));
    EXPECT_EQ(ReadFile(path), " [A]\n a=1\n [B]\n [A]\n c=3\n");
    ASSERT_TRUE(CIniFile::DeleteSection("A", file));
    EXPECT_EQ(ReadFile(path), " [B]\n");
    EXPECT_FALSE(CIniFile::SectionExists("A", file));
}

TEST_F(ConfigIniFile, RenameMovesHeadingAndKeys) {
    WriteFile(path, "[A]\na=1\n[B]\nb=2\n");
    ASSERT_TRUE(CIniFile::RenameSection("A", "Z", file));
    EXPECT_EQ(ReadFile(path), " [Z]\n a=1\n [B]\n b=2\n");
    EXPECT_EQ(value("a", "Z"), "1");
    EXPECT_EQ(value("a", "A"), "");
}

TEST_F(ConfigIniFile, CommentingRecordsAndSectionsRoundTrips) {
    WriteFile(path, "[A]\na=1\nb=2\n[B]\nc=3\n");
    EXPECT_FALSE(CIniFile::CommentRecord(CIniFile::Hash, "x", "A", file));
    ASSERT_TRUE(CIniFile::CommentRecord(CIniFile::Hash, "b", "A", file));
    EXPECT_EQ(ReadFile(path), " [A]\n a=1\n#b=2\n [B]\n c=3\n");
    EXPECT_EQ(value("b", "A"), "2");  // a commented key still reads
    ASSERT_TRUE(CIniFile::UnCommentRecord("b", "A", file));
    ASSERT_TRUE(CIniFile::CommentSection(CIniFile::Semicolon, "B", file));
    EXPECT_EQ(ReadFile(path), " [A]\n a=1\n b=2\n;[B]\n;c=3\n");
    EXPECT_TRUE(CIniFile::RecordExists("c", "B", file));
    ASSERT_TRUE(CIniFile::UnCommentSection("B", file));
    EXPECT_EQ(ReadFile(path), " [A]\n a=1\n b=2\n [B]\n c=3\n");
    EXPECT_FALSE(CIniFile::UnCommentRecord("x", "B", file));
}

TEST_F(ConfigIniFile, SettingComments) {
    WriteFile(path, "[A]\na=1\n");
    EXPECT_FALSE(CIniFile::SetSectionComments("#x", "B", file));
    EXPECT_FALSE(CIniFile::SetRecordComments("#x", "b", "A", file));
    ASSERT_TRUE(CIniFile::SetSectionComments("# first\n# second", "A", file));
    ASSERT_TRUE(CIniFile::SetRecordComments(";about a\n", "a", "A", file));
    EXPECT_EQ(ReadFile(path), "# first\n# second\n [A]\n;about a\n\n a=1\n");
    // Read back, the doubled line feed is a dropped blank line.
    ASSERT_TRUE(CIniFile::SetValue("a", "2", "A", file));
    EXPECT_EQ(ReadFile(path), "# first\n# second\n [A]\n;about a\n a=2\n");
    ASSERT_TRUE(CIniFile::SetRecordComments("", "a", "A", file));
    EXPECT_EQ(ReadFile(path), "# first\n# second\n [A]\n a=2\n");
}

TEST_F(ConfigIniFile, SortOrdersSectionsAndKeysWithTheirComments) {
    WriteFile(path, "[b]\n#on z\nz=1\ny=2\n#on a\n[a]\nk2=x\nk1=y\n;[c]\nm=0\n");
    ASSERT_TRUE(CIniFile::Sort(file, false));
    EXPECT_EQ(ReadFile(path), "#on a\n [a]\n k1=y\n k2=x\n [b]\n y=2\n#on z\n z=1\n;[c]\n m=0\n");
    ASSERT_TRUE(CIniFile::Sort(file, true));
    EXPECT_EQ(ReadFile(path), ";[c]\n m=0\n [b]\n#on z\n z=1\n y=2\n#on a\n [a]\n k2=x\n k1=y\n");
}

TEST_F(ConfigIniFile, SortKeepsKeysWithoutHeadingAndDuplicateHeadings) {
    WriteFile(path, "top=1\n[b]\nx=1\n[a]\ny=2\n[b]\nw=3\n");
    ASSERT_TRUE(CIniFile::Sort(file, false));
    EXPECT_EQ(ReadFile(path), " top=1\n [a]\n y=2\n [b]\n w=3\n x=1\n [b]\n");
    WriteFile(path, "k=1\n");
    EXPECT_FALSE(CIniFile::Sort(file, false));  // no heading to sort by
    EXPECT_EQ(ReadFile(path), "k=1\n");
}

}  // namespace

namespace {

// Each refused write leaves the file as it was; each accepted one leaves a file that loads and
// reads back what was written.
TEST_F(ConfigIniFile, WritesThatWouldNotReadBackAreRefused) {
    const std::string original = " [S]\n K=1\n";
    const std::function<bool()> refused[] = {
        [&] { return CIniFile::SetValue("a[b", "v", "S", file); },
        [&] { return CIniFile::SetValue("a=b", "v", "S", file); },
        [&] { return CIniFile::SetValue("", "v", "S", file); },
        [&] { return CIniFile::SetValue("#k", "v", "S", file); },
        [&] { return CIniFile::SetValue(" k", "v", "S", file); },
        [&] { return CIniFile::SetValue("k", "two\nlines", "S", file); },
        [&] { return CIniFile::SetValue("k", "v", "a]b", file); },
        [&] { return CIniFile::AddSection("x\ny", file); },
        [&] { return CIniFile::RenameSection("S", "T]", file); },
        [&] { return CIniFile::CommentSection('x', "S", file); },
        [&] { return CIniFile::SetSectionComments("no comment char\n", "S", file); },
        [&] { return CIniFile::SetSectionComments("# see [manual\n", "S", file); },
        [&] { return CIniFile::SetRecordComments("#", "K", "S", file); },  // would join the key line
    };
    for (size_t i = 0; i < std::size(refused); ++i) {
        WriteFile(path, original);
        EXPECT_FALSE(refused[i]()) << i;
        EXPECT_EQ(ReadFile(path), original) << i;
    }
    WriteFile(path, original);
    ASSERT_TRUE(CIniFile::SetValue("Path", "C:\\[data]\\x=1", "S", file));
    ASSERT_TRUE(CIniFile::SetSectionComments("# about\n;more\n", "S", file));
    ASSERT_TRUE(CIniFile::SetValue("after", "1", "S", file));  // the file still loads
    EXPECT_EQ(value("Path", "S"), "C:\\[data]\\x=1");
    EXPECT_EQ(value("K", "S"), "1");
}

// A line with an '=' before its first '[' is a key (its value holds brackets), also when
// commented out; a heading is never also read as a key.
TEST_F(ConfigIniFile, BracketsInValuesStayValuesAndHeadingsStayHeadings) {
    WriteFile(path, "[S]\nk=[a]\n#c=v[x\n[a=b]\nz=1\n");
    for (int pass = 0; pass < 2; ++pass) {  // as read, then written back and read again
        EXPECT_EQ(value("k", "S"), "[a]") << pass;
        EXPECT_EQ(value("c", "S"), "v[x") << pass;
        EXPECT_TRUE(CIniFile::RecordExists("z", "a=b", file)) << pass;
        EXPECT_FALSE(CIniFile::RecordExists("a", "a=b", file)) << pass;
        ASSERT_TRUE(CIniFile::SetValue("new", "1", "S", file));
    }
    EXPECT_EQ(ReadFile(path), " [S]\n new=1\n k=[a]\n#c=v[x\n [a=b]\n z=1\n");
}

}  // namespace
