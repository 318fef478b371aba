#pragma once
// Finding devices: every listed serial port is asked for its identity through the bootloader.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tools {

struct FoundDevice {
    std::string port;
    int deviceType = 0, subType = 0, revision = 0, firmware = 0, bootloader = 0, maxBaud = 0;
    bool inProgramMode = false;
    std::string serial, description;
    /// The rate it answered at: 9600, or a fast rate when a program left it at its raised rate
    /// (running or not) without handing it back.
    int baud = 9600;
};

// The ports enumeration lists, in its order.
std::vector<std::string> ListPorts();
// Asks one port, at 9600 baud and, while it stays silent, at the fast rates of the device family
// (korvan/device/line_rates.h); false when no bootloader answered there.
bool Identify(const std::string& port, int timeoutMs, FoundDevice* device);
// Identify for every port, asked side by side (about one probe time whatever their number);
// the results in the order of `ports`, empty where no bootloader answered.
std::vector<std::optional<FoundDevice>> IdentifyAll(const std::vector<std::string>& ports, int timeoutMs);
// A few lines describing the device, for people.
std::string Describe(const FoundDevice& device);
// "left at 921600 baud by a program that did not hand it back; korvan stop PORT ends what it runs
// and returns it to 9600", or "" for a device at 9600.
std::string LeftRaisedNote(const FoundDevice& device);

// The message for a serial number that no device carries, shared by the tool and Python.
std::string NoDeviceWithSerialNumber(const std::string& serial, size_t portsTried);

}  // namespace tools
