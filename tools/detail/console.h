#pragma once
// What the tool needs of the operating system besides the device: Ctrl-C, the console, and
// starting a sibling program. One implementation per platform (console_posix.cpp,
// console_win32.cpp); everything else in tools/ stays platform-neutral.
#include <string>
#include <vector>

namespace tools::detail {

/// From now on Ctrl-C (SIGINT) and a termination request (SIGTERM; on Windows Ctrl-Break and
/// closing the console) set a flag instead of ending the process; clears an earlier one.
void CatchInterrupts();
/// The signal number of the interrupt caught since CatchInterrupts (SIGINT 2, SIGTERM 15), or 0.
int CaughtInterrupt();

/// True when standard error is a terminal (a console window on Windows), where progress bars go.
bool StandardErrorIsTerminal();

/// True when a line (Enter) arrived on standard input since the last call; never blocks.
bool LineEntered();

/// The full path of the program `name` (without ".exe") in the folder of the running program.
std::string SiblingProgram(const char* name);

/// Runs `program` with `args` in place of this process where the platform allows (POSIX), else
/// as a child that shares the console, waited for. Returns its exit code when it ran as a child;
/// returns -1 with `error` when it could not start.
int HandOver(const std::string& program, const std::vector<std::string>& args, std::string* error);

}  // namespace tools::detail
