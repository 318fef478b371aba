#include "tools/discovery.h"

#include <tessel/bootloader/bootloader.h>
#include <tessel/serial/rs232.h>

namespace tools {

std::vector<std::string> ListPorts() {
    RS232 serial;
    char** ports = nullptr;
    int count = 0;
    serial.GetSpecificCOMPorts(&ports, &count);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.emplace_back(ports[i]);
        serial.FreeRS232Memory(ports[i]);
    }
    if (count > 0) serial.FreeRS232Memory(ports);
    return names;
}

bool Identify(const std::string& port, int timeoutMs, FoundDevice* device) {
    Bootloader bootloader(port.c_str(), timeoutMs, true);
    if (!bootloader.IsDeviceInfoAvailable()) return false;
    device->port = port;
    bootloader.GetDeviceType(&device->deviceType);
    bootloader.GetSubDeviceType(&device->subType);
    bootloader.GetRevision(&device->revision);
    bootloader.GetFirmwareVersion(&device->firmware);
    bootloader.GetBootloaderVersion(&device->bootloader);
    bootloader.GetMaxBaudrate(&device->maxBaud);
    Bootloader::DeviceProgrammingState mode = Bootloader::NotInProgmode;
    bootloader.GetProgramMode(&mode);
    device->inProgramMode = mode == Bootloader::InProgmode;
    char* text = nullptr;
    if (bootloader.GetSerialNumber(&text)) {
        device->serial = text;
        Bootloader::Free(text);
    }
    if (bootloader.GetDeviceDescription(&text)) {
        device->description = text;
        Bootloader::Free(text);
    }
    return true;
}

std::string Describe(const FoundDevice& d) {
    std::string s;
    s += "Device on " + d.port + "\n";
    s += "  description:        " + d.description + "\n";
    s += "  serial number:      " + d.serial + "\n";
    s += "  type / sub-type:    " + std::to_string(d.deviceType) + " / " + std::to_string(d.subType) + "\n";
    s += "  hardware revision:  " + std::to_string(d.revision) + "\n";
    s += "  firmware version:   " + std::to_string(d.firmware) + "\n";
    s += "  bootloader version: " + std::to_string(d.bootloader) + "\n";
    s += "  maximum baud rate:  " + std::to_string(d.maxBaud) + "\n";
    s += std::string("  programming mode:   ") + (d.inProgramMode ? "yes" : "no") + "\n";
    return s;
}

}  // namespace tools
