// korvan: the command-line tool. "korvan demo" runs against a built-in virtual device.
#include "tools/detail/environment.h"
#include "tools/device_demo.h"
#include "tools/discovery.h"

#include <sim/sim_options.h>
#include <sim/virtual_device.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kProbeTimeoutMs = 500;

void PrintUsage() {
    std::printf(
        "Usage: korvan demo [--hardware] [virtual device options]\n"
        "\n"
        "demo  starts a virtual device on a pseudo-terminal, discovers it through port\n"
        "      enumeration and the bootloader protocol, prints its identity, then connects\n"
        "      through the Korvan device class and drives it.\n"
        "      No real serial port is touched unless --hardware is given.\n"
        "  --hardware\tdiscover real devices instead (enumerates and probes the machine's serial ports)\n"
        "Virtual device options:\n%s",
        sim::IdentityOptionsHelp().c_str());
}

int Demo(const std::vector<std::string>& args) {
    bool hardware = false;
    sim::Options options;
    std::vector<std::string> rest;
    std::string error;
    if (!sim::ParseIdentityOptions(args, &options.identity, &rest, &error)) {
        std::fprintf(stderr, "korvan demo: %s\n", error.c_str());
        return 2;
    }
    for (const std::string& arg : rest) {
        if (arg == "--hardware") {
            hardware = true;
        } else {
            std::fprintf(stderr, "korvan demo: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }

    std::unique_ptr<sim::VirtualDevice> device;
    if (!hardware) {
        device = std::make_unique<sim::VirtualDevice>(options);
        if (!device->Start(&error)) {
            std::fprintf(stderr, "korvan demo: cannot start the virtual device: %s\n", error.c_str());
            return 1;
        }
        // Only the virtual device is listed: enumeration must not reach real ports.
        tools::detail::SetEnvironment("TESSEL_NO_HARDWARE_PORTS", "1");
        tools::detail::SetEnvironment("TESSEL_EXTRA_PORTS", device->PortName());
        std::printf("Virtual device started on %s\n", device->PortName().c_str());
    }

    std::vector<std::string> ports = tools::ListPorts();
    std::printf("Ports found: %zu\n", ports.size());
    int found = 0;
    for (const std::string& port : ports) {
        tools::FoundDevice d;
        if (tools::Identify(port, kProbeTimeoutMs, &d)) {
            std::printf("%s", tools::Describe(d).c_str());
            ++found;
        } else {
            std::printf("No bootloader answered on %s\n", port.c_str());
        }
    }
    std::printf("Devices identified: %d\n\n", found);
    if (found == 0) return 1;
    return tools::RunDeviceDemo();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintUsage();
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "demo")
        return Demo(std::vector<std::string>(args.begin() + 1, args.end()));
    std::fprintf(stderr, "korvan: unknown command %s (try korvan --help)\n", args[0].c_str());
    return 2;
}
