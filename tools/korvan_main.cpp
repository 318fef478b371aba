// korvan: the command-line tool. The verbs live in tools/commands/, one file each; this file
// holds only their table. Exit codes: 0 done, 1 device or communication failure, 2 bad usage or
// bad input, 128 + the signal for a run ended by one (130: Ctrl-C).
#include "tools/commands/command.h"

#include <utility>
#include <vector>

namespace {

const tools::Command* const kCommands[] = {
    &tools::kListCommand,   &tools::kInfoCommand, &tools::kCheckCommand, &tools::kPreviewCommand,
    &tools::kRunCommand,    &tools::kStopCommand, &tools::kFlashCommand, &tools::kCalibrationCommand,
    &tools::kSimCommand,    &tools::kDemoCommand,
#ifdef KORVAN_WITH_STUDIO
    &tools::kStudioCommand,
#endif
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "korvan: drive a laser scanning device, check and preview sequence files, run them on a device or "
        "on a built-in virtual device."};
    app.require_subcommand(1);
    app.footer(
        "Exit codes: 0 done, 1 device or communication failure, 2 bad usage or bad input, 130 interrupted "
        "(Ctrl-C).\n"
        "Every command has its own --help; most take --json for scripts.");
    std::vector<std::pair<CLI::App*, std::function<int()>>> verbs;
    for (const tools::Command* command : kCommands) {
        CLI::App* sub = app.add_subcommand(command->name, command->help);
        verbs.emplace_back(sub, command->setup(*sub));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? tools::kExitDone : tools::kExitUsage;
    }
    for (auto& [sub, run] : verbs)
        if (sub->parsed()) return run();
    return tools::kExitUsage;
}
