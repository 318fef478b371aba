// Finds and connects the device on one COM port through the whole Win32 port path: enumeration
// (the extra-ports switch), CreateFileA, SetCommState up to the raised rate, the time-out record
// and overlapped ReadFile/WriteFile. Run by com_port_check.sh against the Linux virtual device
// on a pseudo-terminal linked as that port.
//   com_identify COMn   exit 0 when exactly the device on COMn was found and connected
#include <korvan/korvan.h>
#include <tessel/serial/rs232.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: com_identify COMn\n");
        return 2;
    }
    const std::string wanted = argv[1];

    RS232 lister;
    char** ports = nullptr;
    int count = 0;
    lister.GetSpecificCOMPorts(&ports, &count);
    bool listed = false;
    for (int i = 0; i < count; ++i) {
        std::printf("port %s\n", ports[i]);
        listed = listed || wanted == ports[i];
        lister.FreeRS232Memory(ports[i]);
    }
    if (count > 0) lister.FreeRS232Memory(ports);

    Korvan device;
    const auto start = std::chrono::steady_clock::now();
    const unsigned int found = device.Search();
    const auto searchMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("search found %u in %lld ms\n", found, static_cast<long long>(searchMs));
    bool identified = false;
    for (unsigned int i = 0; i < found; ++i) {
        DeviceInfo info{};
        if (device.GetDeviceInfo(static_cast<int>(i), &info) != 0) continue;
        std::printf("device on %s: serial %s, \"%s\", firmware %d, type %d\n", info.portName, info.serialNumber,
                    info.description, info.firmwareVersion, info.deviceType);
        identified = identified || wanted == info.portName;
    }
    const unsigned int connected = device.Connect(wanted.c_str());
    std::printf("connect %s: %u\n", wanted.c_str(), connected);
    const unsigned int disconnected = connected == 0 ? device.Disconnect() : 1;
    std::printf("disconnect: %u\n", disconnected);
    const bool ok = listed && found == 1 && identified && connected == 0 && disconnected == 0;
    std::printf("%s\n", ok ? "COM PATH OK" : "COM PATH FAILED");
    return ok ? 0 : 1;
}
