#pragma once
// One verb of the korvan tool. Each verb lives in its own file and exports one Command; the
// table in korvan_main.cpp lists them.
#include <CLI/CLI.hpp>

#include <functional>

namespace tools {

/// Exit codes of every verb.
inline constexpr int kExitDone = 0;
inline constexpr int kExitDevice = 1;  ///< device or communication failure
inline constexpr int kExitUsage = 2;   ///< bad usage or bad input
/// Ended by a signal: 128 + its number, as shells report it (130 for Ctrl-C).
inline constexpr int kExitSignalBase = 128;

struct Command {
    const char* name;
    const char* help;
    /// Declares the verb's options on `app` and returns what runs it once the line is parsed.
    std::function<int()> (*setup)(CLI::App& app);
};

extern const Command kListCommand;
extern const Command kInfoCommand;
extern const Command kCheckCommand;
extern const Command kPreviewCommand;
extern const Command kRunCommand;
extern const Command kStopCommand;
extern const Command kFlashCommand;
extern const Command kCalibrationCommand;
extern const Command kSimCommand;
extern const Command kDemoCommand;
/// Built where the studio is (tools/studio/, KORVAN_WITH_STUDIO).
extern const Command kStudioCommand;

}  // namespace tools
