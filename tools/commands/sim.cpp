// korvan sim [options]: the virtual device program, korvan-sim, under the tool's name.
#include "tools/commands/command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace tools {
namespace {

// korvan-sim is installed (and built) beside korvan; running it keeps one program for both names.
std::string SiblingProgram(const char* name) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1) + name;
}

std::function<int()> Setup(CLI::App& app) {
    app.allow_extras();
    app.prefix_command();
    app.set_help_flag();  // --help goes to korvan-sim
    return [&app] {
        std::vector<std::string> args = app.remaining();
        const std::string program = SiblingProgram("korvan-sim");
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::fflush(stdout);
        ::execv(program.c_str(), argv.data());
        std::fprintf(stderr, "korvan sim: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
        return kExitDevice;
    };
}

}  // namespace

const Command kSimCommand = {"sim",
                             "Run a virtual device on a pseudo-terminal until interrupted (the korvan-sim program; "
                             "korvan sim --help lists its options).",
                             Setup};

}  // namespace tools
