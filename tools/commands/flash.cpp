// korvan flash FIRMWARE --device DEVICE: write a firmware image through the device's bootloader.
#include "tools/commands/command.h"
#include "tools/detail/console.h"
#include "tools/discovery.h"
#include "tools/report.h"

#include <tessel/bootloader/bootloader.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

namespace tools {
namespace {

constexpr int kProbeTimeoutMs = 500;
constexpr int kBootloaderTimeoutMs = 1000;

struct Options {
    std::string firmware, device;
    int parameter = 0;
    bool yes = false, json = false;
};

bool showProgress = false;
bool Progress(int done, int total) {
    if (showProgress) DrawProgress("flash", done, total);
    return true;
}

int Run(const Options& o) {
    std::ifstream in(o.firmware, std::ios::binary);
    if (!in) throw UsageError("cannot open " + o.firmware);
    std::vector<unsigned char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (image.empty()) throw UsageError(o.firmware + " is empty");

    // The device may be named by port or by serial number; the bootloader tells the serial.
    FoundDevice device;
    bool found = false;
    const std::vector<std::string> ports = ListPorts();
    const std::vector<std::optional<FoundDevice>> identities = IdentifyAll(ports, kProbeTimeoutMs);
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string& port = ports[i];
        if (!identities[i]) continue;
        const FoundDevice& d = *identities[i];
        if (port == o.device || d.serial == o.device || "/dev/" + port == o.device) {
            device = d;
            found = true;
            break;
        }
    }
    if (!found) throw DeviceError("no device " + o.device + " answered on the serial ports");

    if (!o.yes) {
        std::printf("Write %s (%zu bytes) to the device on %s (serial %s, firmware %d)? [y/N] ", o.firmware.c_str(),
                    image.size(), device.port.c_str(), device.serial.c_str(), device.firmware);
        std::fflush(stdout);
        std::string answer;
        std::getline(std::cin, answer);
        if (answer != "y" && answer != "yes") {
            std::printf("nothing written\n");
            throw UsageError("not confirmed (use --yes in scripts)");
        }
    }
    Bootloader bootloader(device.port.c_str(), kBootloaderTimeoutMs, true);
    if (!bootloader.IsDeviceInfoAvailable())
        throw DeviceError("the bootloader on " + device.port + " stopped answering");
    if (!bootloader.EnterBootloader()) throw DeviceError("the device did not enter programming mode");
    showProgress = !o.json && detail::StandardErrorIsTerminal();
    bootloader.progressCallback = Progress;
    if (!bootloader.UpdateFirmware(o.parameter, image.data(), static_cast<long>(image.size())))
        throw DeviceError(
            "the firmware update failed (refused, interrupted, or an image the bootloader's blocks cannot hold)");
    FoundDevice after;
    const bool answered = Identify(device.port, kProbeTimeoutMs, &after);
    if (o.json) {
        PrintJson({{"ok", true},
                   {"port", device.port},
                   {"bytes", image.size()},
                   {"firmwareBefore", device.firmware},
                   {"firmwareAfter", answered ? nlohmann::json(after.firmware) : nlohmann::json(nullptr)}});
    } else {
        std::printf("firmware written: %zu bytes to %s\n", image.size(), device.port.c_str());
        if (answered)
            std::printf("device now reports firmware %d%s\n", after.firmware,
                        after.inProgramMode ? " (still in programming mode)" : "");
    }
    return kExitDone;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.add_option("FIRMWARE", o->firmware, "raw firmware image")->required();
    app.add_option("--device", o->device, "port name or serial number of the device")->required();
    app.add_option("--parameter", o->parameter, "update parameter passed to the bootloader (default 0)");
    app.add_flag("-y,--yes", o->yes, "do not ask for confirmation");
    app.add_flag("--json", o->json, "print the result as JSON");
    return [o] { return Guarded("flash", o->firmware, o->json, [o] { return Run(*o); }); };
}

}  // namespace

const Command kFlashCommand = {"flash",
                               "Write a firmware image through the device's bootloader, with a progress bar; asks for "
                               "confirmation unless --yes.",
                               Setup};

}  // namespace tools
