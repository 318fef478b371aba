// The studio's rules as functions: listening addresses, tokens, and what lies inside a folder.
#include <support/temp_dir.h>
#include <tools/report.h>
#include <tools/studio/access_policy.h>
#include <tools/studio/folder_access.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using tools::studio::ParseListenAddress;

TEST(StudioListenTest, LoopbackAloneUnlessRemoteIsAllowed) {
    struct Case {
        const char* text;
        bool allowRemote, accepted, warns;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"127.0.0.1:8080", false, true, false, "127.0.0.1", 8080},
        {"localhost:0", false, true, false, "127.0.0.1", 0},
        {"127.0.0.1:65535", false, true, false, "127.0.0.1", 65535},
        {"0.0.0.0:8080", false, false, false, "", 0},
        {"192.168.1.5:8080", false, false, false, "", 0},
        {"192.168.1.5:8080", true, true, true, "192.168.1.5", 8080},
        {"0.0.0.0:8080", true, false, false, "", 0},
        {"127.0.0.1:65536", false, false, false, "", 0},
        {"127.0.0.1:", false, false, false, "", 0},
        {"127.0.0.1:80a", false, false, false, "", 0},
        {"8080", false, false, false, "", 0},
        {":8080", false, false, false, "", 0},
    };
    for (const Case& c : cases) {
        std::string warning;
        if (!c.accepted) {
            EXPECT_THROW(ParseListenAddress(c.text, c.allowRemote, &warning), tools::UsageError) << c.text;
            continue;
        }
        const auto address = ParseListenAddress(c.text, c.allowRemote, &warning);
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
        EXPECT_EQ(!warning.empty(), c.warns) << c.text;
    }
}

TEST(StudioTokenTest, TokensAreLongHexAndNeverRepeat) {
    std::set<std::string> tokens;
    for (int i = 0; i < 200; ++i) {
        const std::string token = tools::studio::NewToken();
        EXPECT_EQ(token.size(), 32u);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
        tokens.insert(token);
    }
    EXPECT_EQ(tokens.size(), 200u);
}

TEST(StudioFolderTest, InsideIsDecidedComponentByComponent) {
    using std::filesystem::path;
    struct Case {
        const char* path;
        bool inside;
    };
    const Case cases[] = {{"/data", true},   {"/data/a", true},     {"/data/a/b.json", true},
                          {"/data2", false}, {"/data2/a", false},   {"/dat", false},
                          {"/", false},      {"/other/data", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(tools::studio::IsInside(path(c.path), path("/data")), c.inside) << c.path;
        EXPECT_EQ(tools::studio::IsInside(path(c.path), path("/data/")), c.inside) << c.path << " below /data/";
    }
}

TEST(StudioFolderTest, ResolveKeepsEveryPathInsideOrRefusesIt) {
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    std::filesystem::create_directory_symlink(dir.File("sub"), dir.File("inner-link"));
    std::filesystem::create_directory_symlink("/", dir.File("root-link"));
    // A sibling whose name starts like the folder's: a prefix test on text would let it in.
    const std::string sibling = dir.Path() + "-sibling";
    std::filesystem::create_directory(sibling);
    std::filesystem::create_directory_symlink(sibling, dir.File("sibling-link"));
    const tools::studio::Folder folder(dir.Path());
    struct Case {
        const char* relative;
        int status;  // 0: allowed
        const char* resolved;
    };
    const Case cases[] = {
        {"", 0, ""},
        {"a.json", 0, "a.json"},
        {"sub/a.json", 0, "sub/a.json"},
        {"sub/./a.json", 0, "sub/a.json"},
        {"inner-link/a.json", 0, "sub/a.json"},
        {"not/yet/there.json", 0, "not/yet/there.json"},
        {"..", 403, ""},
        {"../x.json", 403, ""},
        {"sub/../a.json", 403, ""},
        {"/etc/passwd", 403, ""},
        {"root-link/etc/passwd", 403, ""},
        {"sibling-link/a.json", 403, ""},
    };
    for (const Case& c : cases) {
        if (c.status == 0) {
            EXPECT_EQ(folder.Relative(folder.Resolve(c.relative)), c.resolved) << c.relative;
            continue;
        }
        try {
            folder.Resolve(c.relative);
            ADD_FAILURE() << c.relative << " was allowed";
        } catch (const tools::studio::RequestError& e) {
            EXPECT_EQ(e.Status(), c.status) << c.relative;
        }
    }
    EXPECT_THROW(folder.Resolve(std::string("a\0b", 3)), tools::studio::RequestError);
    std::filesystem::remove_all(sibling);
}

}  // namespace
