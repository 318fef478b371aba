// korvan info DEVICE: everything the device tells about itself once connected.
#include "tools/commands/command.h"
#include "tools/report.h"
#include "tools/connect_device.h"

#include <cstdio>

namespace tools {
namespace {

struct Options {
    std::string device;
    bool json = false;
};

std::string Printable(const unsigned char* data, unsigned int length) {
    std::string s;
    for (unsigned int i = 0; i < length; ++i) {
        char buf[8];
        if (data[i] >= 0x20 && data[i] < 0x7F && data[i] != '\\')
            s += static_cast<char>(data[i]);
        else
            std::snprintf(buf, sizeof buf, "\\x%02x", data[i]), s += buf;
    }
    return s;
}

int Run(const Options& o) {
    Korvan korvan;
    ConnectTo(korvan, o.device);
    DeviceInfo info{};
    korvan.GetDeviceInfo(-1, &info);
    State state = NotConnected;
    unsigned int counter = 0;
    unsigned short status = 0;
    if (unsigned int r = korvan.GetState(&state, &counter, &status)) throw DeviceError("state query failed", r);
    const unsigned char errors = korvan.GetLastDeviceError();
    unsigned int freeBytes = 0, largest = 0;
    if (unsigned int r = korvan.GetAvailableMemory(&freeBytes, &largest)) throw DeviceError("memory query failed", r);
    const unsigned int count = korvan.GetSequenceCount();
    nlohmann::json sequences = nlohmann::json::array();
    for (unsigned int i = 0; i < count; ++i) {
        SequenceMemoryInfo m{};
        if (korvan.GetMemoryUsage(i, &m) == 0) sequences.push_back({{"number", m.sequenceNumber}, {"bytes", m.size}});
    }
    unsigned char* data = nullptr;
    unsigned int length = 0;
    std::string userData;
    const bool haveUserData = korvan.GetUserData(&data, &length) == 0;
    if (haveUserData) {
        userData = Printable(data, length);
        korvan.FreeUserData(data);
    }
    korvan.Disconnect();

    if (o.json) {
        PrintJson({{"ok", true},
                   {"port", info.portName},
                   {"serial", info.serialNumber},
                   {"description", info.description},
                   {"type", info.deviceType},
                   {"subType", info.deviceSubType},
                   {"revision", info.revision},
                   {"firmware", info.firmwareVersion},
                   {"bootloader", info.bootloaderVersion},
                   {"state", static_cast<unsigned int>(state)},
                   {"statusWord", status},
                   {"errorBits", errors},
                   {"freeBytes", freeBytes},
                   {"largestFreeBlock", largest},
                   {"sequences", sequences},
                   {"userData", haveUserData ? nlohmann::json(userData) : nlohmann::json(nullptr)}});
        return kExitDone;
    }
    std::printf("Device on %s\n", info.portName);
    std::printf("  serial number:     %s\n", info.serialNumber);
    std::printf("  description:       %s\n", info.description);
    std::printf("  type / sub-type:   %d / %d, hardware revision %d\n", info.deviceType, info.deviceSubType,
                info.revision);
    std::printf("  firmware:          %d (bootloader %d)\n", info.firmwareVersion, info.bootloaderVersion);
    std::printf("  state:             %u after connecting, status word 0x%04x\n", static_cast<unsigned int>(state),
                status);
    std::printf("  error bits:        0x%02x\n", errors);
    std::printf("  sequence memory:   %u bytes free, largest block %u\n", freeBytes, largest);
    std::printf("  stored sequences:  %u\n", count);
    for (const auto& s : sequences)
        std::printf("    number %u, %u bytes\n", s["number"].get<unsigned int>(), s["bytes"].get<unsigned int>());
    std::printf("  user data:         %s\n",
                haveUserData ? ("\"" + userData + "\" (" + std::to_string(length) + " bytes)").c_str() : "unreadable");
    return kExitDone;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.add_option("DEVICE", o->device, "port name (ttyUSB0, pts/3) or serial number")->required();
    app.add_flag("--json", o->json, "print the result as JSON");
    return [o] { return Guarded("info", "", o->json, [o] { return Run(*o); }); };
}

}  // namespace

const Command kInfoCommand = {
    "info",
    "Connect to a device and show its identity, state, errors, memory, stored sequences and user data. "
    "Connecting stops whatever runs and erases the stored sequences.",
    Setup};

}  // namespace tools
