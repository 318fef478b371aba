#include "tools/connect_device.h"

#include "tools/discovery.h"
#include "tools/report.h"

#include <regex>

namespace tools {

void ConnectTo(Korvan& korvan, const std::string& target) {
    const unsigned int count = korvan.Search();
    DeviceInfo info{};
    bool found = false;
    for (unsigned int i = 0; i < count && !found; ++i)
        found =
            korvan.GetDeviceInfo(static_cast<int>(i), &info) == 0 &&
            (target == info.portName || target == info.serialNumber || target == std::string("/dev/") + info.portName);
    const std::regex serialNumber("[0-9]{3}-[0-9]{4}");
    if (!found && std::regex_match(target, serialNumber))
        throw DeviceError(NoDeviceWithSerialNumber(target, ListPorts().size()));
    if (!found)
        throw DeviceError("no device " + target + " found (" + std::to_string(count) +
                          " device(s) on the serial ports)");
    // Connect takes a serial number only in the form 123-4567; other identities go by port.
    const bool bySerial = std::regex_match(info.serialNumber, serialNumber);
    if (unsigned int r = korvan.Connect(bySerial ? info.serialNumber : info.portName))
        throw DeviceError(std::string("cannot connect to ") + info.portName + ": " + KorvanResultText(r), r);
}

}  // namespace tools
