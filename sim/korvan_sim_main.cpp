// korvan-sim: a virtual scanning device on a pseudo-terminal, until interrupted.
#include <sim/device_text_responder.h>
#include <sim/run_options.h>
#include <sim/sim_options.h>
#include <sim/virtual_device.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {
volatile std::sig_atomic_t interrupted = 0;
void OnSignal(int) { interrupted = 1; }
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    sim::Options options;
    options.timeScale = 1;  // people watch korvan-sim in real time; tests use --time-scale 0
    std::vector<std::string> identityArgs, rest;
    std::string error;
    if (!sim::ParseRunOptions(args, &options, &identityArgs, &error) ||
        !sim::ParseIdentityOptions(identityArgs, &options.identity, &rest, &error)) {
        std::fprintf(stderr, "korvan-sim: %s\n", error.c_str());
        return 2;
    }
    bool textMode = false;
    for (const std::string& arg : rest) {
        if (arg == "--text") {
            textMode = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "Usage: korvan-sim [options]\nRuns a virtual scanning device on a pseudo-terminal until "
                "interrupted.\n  --text\tspeak the text protocol at 115200 baud instead of the byte protocols\n%s",
                (sim::IdentityOptionsHelp() + sim::RunOptionsHelp()).c_str());
            return 0;
        }
        std::fprintf(stderr, "korvan-sim: unknown argument %s (try --help)\n", arg.c_str());
        return 2;
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    sim::VirtualDevice device(options);
    if (textMode) sim::UseTextProtocol(device);
    if (!device.Start(&error)) {
        std::fprintf(stderr, "korvan-sim: cannot start: %s\n", error.c_str());
        return 1;
    }
    std::printf("Virtual device (type %d, serial %s) on port %s\n", options.identity.deviceType,
                options.identity.serialNumber.c_str(), device.PortName().c_str());
    std::printf("Make it discoverable with:\nTESSEL_EXTRA_PORTS=%s\n", device.PortName().c_str());
    std::fflush(stdout);
    while (!interrupted && !device.LineGone()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    device.Stop();
    return 0;
}
