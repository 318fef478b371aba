// korvan stop DEVICE: end whatever a device runs, switch its lasers off and hand it back at 9600
// baud, for a device that a program (korvan run --no-wait, say) left running.
#include "tools/commands/command.h"
#include "tools/connect_device.h"
#include "tools/report.h"
#include "tools/sequence_run.h"

#include <cstdio>

namespace tools {
namespace {

struct Options {
    std::string device;
    bool json = false;
};

int Run(const Options& o) {
    Korvan korvan;
    // Connecting finds the device at its raised rate too, and stops what runs (erasing the
    // stored sequences, as every connection does).
    ConnectTo(korvan, o.device);
    DeviceInfo info{};
    korvan.GetDeviceInfo(-1, &info);
    SwitchAllLasersOff(korvan);
    if (unsigned int r = korvan.Disconnect()) throw DeviceError("cannot hand the device back at 9600 baud", r);
    if (o.json)
        PrintJson({{"ok", true}, {"port", info.portName}, {"serial", info.serialNumber}});
    else
        std::printf("stopped %s (serial %s): nothing runs, lasers off, device back at 9600 baud\n", info.portName,
                    info.serialNumber);
    return kExitDone;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.add_option("DEVICE", o->device, "port name (ttyUSB0, pts/3) or serial number")->required();
    app.add_flag("--json", o->json, "print the result as JSON");
    return [o] { return Guarded("stop", "", o->json, [o] { return Run(*o); }); };
}

}  // namespace

const Command kStopCommand = {
    "stop",
    "Stop whatever a device runs (also one left running by korvan run --no-wait), switch its lasers off and "
    "return it to 9600 baud. Like every connection it erases the stored sequences.",
    Setup};

}  // namespace tools
