// korvan studio: serve the page from which lab users drive the device, on this machine only.
#include "tools/commands/command.h"
#include "tools/report.h"
#include "tools/sequence_run.h"
#include "tools/studio/studio_server.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace tools {
namespace {

struct Options {
    std::string device, listen = "127.0.0.1:0", folder = ".";
    bool virtualDevice = false, allowRemote = false;
};

int Run(const Options& o) {
    studio::StudioOptions options;
    std::string warning;
    options.listen = studio::ParseListenAddress(o.listen, o.allowRemote, &warning);
    if (!warning.empty()) std::fprintf(stderr, "warning: %s\n", warning.c_str());
    options.virtualDevice = o.virtualDevice;
    options.device = o.device;
    options.folder = o.folder;
    CatchInterrupts();
    studio::StudioServer server(options);
    std::printf("korvan studio: open %s\n", server.Policy().Address().c_str());
    std::printf("Ctrl-C stops every sequence, switches the lasers off and ends the studio\n");
    std::fflush(stdout);
    while (InterruptSignal() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Session().StopAll();
    server.Stop();
    std::printf("stopped: sequences ended, lasers off\n");
    return kExitSignalBase + InterruptSignal();
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    auto* device = app.add_option("--device", o->device, "connect at the start: port name or serial number");
    app.add_flag("--virtual", o->virtualDevice, "drive a built-in virtual device instead")->excludes(device);
    app.add_option("--listen", o->listen, "HOST:PORT to serve on (default 127.0.0.1:0, a free port)");
    app.add_flag("--allow-remote", o->allowRemote, "allow --listen on an address other machines reach");
    app.add_option("--folder", o->folder, "the only folder the page may read and write (default: here)")
        ->check(CLI::ExistingDirectory);
    return [o] { return Guarded("studio", "", false, [o] { return Run(*o); }); };
}

}  // namespace

const Command kStudioCommand = {
    "studio",
    "Serve a page on this machine from which to pick and connect a device, open and check sequence files and "
    "stop everything at once. Prints the address to open, with its access token; Ctrl-C stops sequences, "
    "switches the lasers off and exits.",
    Setup};

}  // namespace tools
