#include "tools/detail/console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace tools::detail {
namespace {
volatile std::sig_atomic_t interrupted = 0;  // the signal's number
void OnInterrupt(int signal) { interrupted = signal; }
}  // namespace

void CatchInterrupts() {
    interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

int CaughtInterrupt() { return interrupted; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

bool LineEntered() {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return false;
    char buf[256];
    return ::read(STDIN_FILENO, buf, sizeof buf) > 0;
}

std::string SiblingProgram(const char* name) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    const std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1) + name;
}

int HandOver(const std::string& program, const std::vector<std::string>& args, std::string* error) {
    std::vector<std::string> copies = args;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    ::execv(program.c_str(), argv.data());
    *error = std::strerror(errno);
    return -1;
}

}  // namespace tools::detail
