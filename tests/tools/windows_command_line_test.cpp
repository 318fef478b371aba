// The command line the tool builds for a child on Windows, read back by the Microsoft C rules.
#include "tools/detail/windows_command_line.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using tools::detail::QuoteWindowsArgument;
using tools::detail::WindowsCommandLine;

// The C runtime's reading of a command line (arguments after the program name): whitespace
// separates outside quotes; 2n backslashes before a quote are n and the quote toggles quoting,
// 2n+1 are n and a literal quote; backslashes elsewhere are literal.
std::vector<std::string> SplitLikeTheRuntime(const std::string& line) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == line.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
            if (i < line.size() && line[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    arg += '"';
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(backslashes, '\\');
                if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

TEST(WindowsCommandLine, QuotesOnlyWhatNeedsItAndEscapesBackslashesOnlyBeforeQuotes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--port", "--port"},
        {"", "\"\""},
        {"two words", "\"two words\""},
        {R"(C:\dir\file)", R"(C:\dir\file)"},   // no quote follows: backslashes stay single
        {R"(C:\my dir\)", R"("C:\my dir\\")"},  // the trailing one would escape the closing quote
        {R"(say "hi")", R"("say \"hi\"")"},
        {R"(a\"b)", R"("a\\\"b")"},
        {"tab\there", "\"tab\there\""},
    };
    for (const auto& [argument, written] : cases) EXPECT_EQ(QuoteWindowsArgument(argument), written) << argument;
}

TEST(WindowsCommandLine, AnyArgumentsReadBackUnchanged) {
    std::mt19937 random(11);
    const std::string alphabet = "ab \\\"\t-=:";
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> args(random() % 4);
        for (std::string& a : args)
            for (size_t n = random() % 9; n > 0; --n) a += alphabet[random() % alphabet.size()];
        const std::string line = WindowsCommandLine("C:\\bin\\korvan-sim.exe", args);
        std::vector<std::string> read = SplitLikeTheRuntime(line);
        ASSERT_FALSE(read.empty()) << line;
        EXPECT_EQ(read.front(), "C:\\bin\\korvan-sim.exe");
        read.erase(read.begin());
        ASSERT_EQ(read, args) << line;
    }
}

}  // namespace
