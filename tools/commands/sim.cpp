// korvan sim [options]: the virtual device program, korvan-sim, under the tool's name.
#include "tools/commands/command.h"
#include "tools/detail/console.h"

#include <cstdio>
#include <string>
#include <vector>

namespace tools {
namespace {

std::function<int()> Setup(CLI::App& app) {
    app.allow_extras();
    app.prefix_command();
    app.set_help_flag();  // --help goes to korvan-sim
    return [&app] {
        // korvan-sim is installed (and built) beside korvan; running it keeps one program for both names.
        const std::string program = detail::SiblingProgram("korvan-sim");
        std::string error;
        const int code = detail::HandOver(program, app.remaining(), &error);
        if (code >= 0) return code;
        std::fprintf(stderr, "korvan sim: cannot run %s: %s\n", program.c_str(), error.c_str());
        return kExitDevice;
    };
}

}  // namespace

const Command kSimCommand = {"sim",
                             "Run a virtual device on a pseudo-terminal until interrupted (the korvan-sim program; "
                             "korvan sim --help lists its options).",
                             Setup};

}  // namespace tools
