#include "tools/discovery.h"

#include <korvan/device/line_rates.h>
#include <tessel/bootloader/bootloader.h>
#include <tessel/serial/port_probe.h>
#include <tessel/serial/rs232.h>

#include <optional>

namespace tools {

std::vector<std::string> ListPorts() {
    RS232 serial;
    return tessel::PortNames(serial);
}

std::vector<std::optional<FoundDevice>> IdentifyAll(const std::vector<std::string>& ports, int timeoutMs) {
    return tessel::ProbeEach(ports, [timeoutMs](const std::string& port) {
        FoundDevice d;
        return Identify(port, timeoutMs, &d) ? std::optional<FoundDevice>(d) : std::nullopt;
    });
}

bool Identify(const std::string& port, int timeoutMs, FoundDevice* device) {
    std::optional<Bootloader> reached;
    device->baud = korvan::IdentifyAtAnyRate(reached, port.c_str(), timeoutMs);
    if (device->baud == 0) return false;
    Bootloader& bootloader = *reached;
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
    if (d.baud != korvan::kDefaultBaudRate) s += "  " + LeftRaisedNote(d) + "\n";
    return s;
}

std::string LeftRaisedNote(const FoundDevice& d) {
    if (d.baud == korvan::kDefaultBaudRate) return "";
    return "left at " + std::to_string(d.baud) + " baud by a program that did not hand it back; korvan stop " + d.port +
           " ends what it runs and returns it to 9600";
}

std::string NoDeviceWithSerialNumber(const std::string& serial, size_t portsTried) {
    return "no device with serial number " + serial + " found (" + std::to_string(portsTried) + " port" +
           (portsTried == 1 ? "" : "s") + " tried)";
}

}  // namespace tools
