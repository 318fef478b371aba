// Lists the serial ports and prints the identity of each device whose bootloader answers.
//
// Try it on the virtual device:   korvan-sim            (prints TESSEL_EXTRA_PORTS=pts/N)
//   TESSEL_NO_HARDWARE_PORTS=1 TESSEL_EXTRA_PORTS=pts/N ./identify_device
// Without those variables it probes the machine's serial ports.
#include <tessel/bootloader/bootloader.h>
#include <tessel/serial/rs232.h>

#include <cstdio>

int main() {
    RS232 serial;
    char** ports = nullptr;
    int count = 0;
    serial.GetSpecificCOMPorts(&ports, &count);
    std::printf("%d port(s)\n", count);

    for (int i = 0; i < count; ++i) {
        // Reads the whole identity at once; each request waits at most about 2 x 500 ms.
        Bootloader device(ports[i], 500, true);
        if (!device.IsDeviceInfoAvailable()) {
            std::printf("%s: no device\n", ports[i]);
            continue;
        }
        int type = 0, firmware = 0, maxBaud = 0;
        device.GetDeviceType(&type);
        device.GetFirmwareVersion(&firmware);
        device.GetMaxBaudrate(&maxBaud);
        char* serialNumber = nullptr;
        char* description = nullptr;
        device.GetSerialNumber(&serialNumber);
        device.GetDeviceDescription(&description);
        std::printf("%s: %s, serial %s, type %d, firmware %d, up to %d baud\n", ports[i], description, serialNumber,
                    type, firmware, maxBaud);
        Bootloader::Free(serialNumber);
        Bootloader::Free(description);
    }

    for (int i = 0; i < count; ++i) serial.FreeRS232Memory(ports[i]);
    serial.FreeRS232Memory(ports);
    return 0;
}
