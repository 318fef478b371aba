// Reads the identity of a device that speaks the text protocol, on the port given or on every
// port found.
//
// Try it on the virtual device:   korvan-sim --text      (prints TESSEL_EXTRA_PORTS=pts/N)
//   ./identify_text_device pts/N
//   TESSEL_NO_HARDWARE_PORTS=1 TESSEL_EXTRA_PORTS=pts/N ./identify_text_device
// Without a name or those variables it probes the machine's serial ports (about 1 s each
// where nothing answers).
#include <tessel/bootloader/ascii_bootloader.h>
#include <tessel/serial/rs232.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool Identify(const std::string& port) {
    std::vector<char> name(port.begin(), port.end());
    name.push_back('\0');
    ASCIIBootloader device(name.data());  // opens the port at 115200 baud
    if (!device.UpdateDeviceInfo()) {
        std::printf("%s: no text-protocol device\n", port.c_str());
        return false;
    }
    std::printf("%s: %s, type %s, revision %s, serial %s, firmware %s, bootloader %s\n", port.c_str(),
                device.DeviceName(), device.DeviceType(), device.HardwareRevision(), device.Serial(),
                device.FirmwareVersion(), device.BootloaderVersion());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> ports;
    if (argc > 1) {
        ports.assign(argv + 1, argv + argc);
    } else {
        RS232 serial;
        char** list = nullptr;
        int count = 0;
        serial.GetSpecificCOMPorts(&list, &count);
        for (int i = 0; i < count; ++i) {
            ports.emplace_back(list[i]);
            serial.FreeRS232Memory(list[i]);
        }
        serial.FreeRS232Memory(list);
    }
    int found = 0;
    for (const std::string& port : ports) found += Identify(port) ? 1 : 0;
    std::printf("%d text-protocol device(s)\n", found);
    return found > 0 ? 0 : 1;
}
