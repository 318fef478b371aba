#pragma once
// Runs a program as a child process with its standard output on a pipe.
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    // Starts `argv[0]` with the given arguments; Running() tells whether that worked.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running() const { return pid_ > 0; }
    // Output lines until one starts with `prefix` (returned) or the time is up ("" then).
    std::string ReadLineStartingWith(const std::string& prefix, int timeoutMs);
    // Sends SIGINT and waits for the exit; the exit code, or -1 when it did not exit in time.
    int Interrupt(int timeoutMs);
    // Everything the child printed so far.
    const std::string& Output() const { return output_; }

private:
    int pid_ = -1;
    int out_ = -1;
    std::string output_;
    size_t consumed_ = 0;
};

}  // namespace testsupport
