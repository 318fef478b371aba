#pragma once
// Finding devices: every listed serial port is asked for its identity through the bootloader.
#include <string>
#include <vector>

namespace tools {

struct FoundDevice {
    std::string port;
    int deviceType = 0, subType = 0, revision = 0, firmware = 0, bootloader = 0, maxBaud = 0;
    bool inProgramMode = false;
    std::string serial, description;
};

// The ports enumeration lists, in its order.
std::vector<std::string> ListPorts();
// Asks one port; false when no bootloader answered there.
bool Identify(const std::string& port, int timeoutMs, FoundDevice* device);
// A few lines describing the device, for people.
std::string Describe(const FoundDevice& device);

}  // namespace tools
