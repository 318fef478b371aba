// Finds the first device, connects to it, steers the mirrors through the corners of a square
// and reads back where they are.
//
// Try it on the virtual device:   korvan-sim            (prints TESSEL_EXTRA_PORTS=pts/N)
//   TESSEL_NO_HARDWARE_PORTS=1 TESSEL_EXTRA_PORTS=pts/N ./move_mirrors
#include <korvan/korvan.h>

#include <cstdio>

int main() {
    Korvan scanner;
    if (scanner.Search() == 0) {
        std::printf("no device found\n");
        return 1;
    }
    DeviceInfo info{};
    scanner.GetDeviceInfo(0, &info);
    // Connect raises the line to the device's maximum rate and leaves it stopped and empty.
    unsigned int result = scanner.Connect(info.portName);
    if (result != 0) {
        std::printf("connect to %s failed with %u\n", info.portName, result);
        return 1;
    }
    const unsigned int corners[][2] = {{16384, 16384}, {49152, 16384}, {49152, 49152}, {16384, 49152}};
    for (const auto& corner : corners) {
        tagPOINT at{};
        if (scanner.MoveAbsolute(corner[0], corner[1]) != 0 || scanner.GetActualPosition(&at) != 0) {
            std::printf("move failed\n");
            scanner.Disconnect();
            return 1;
        }
        std::printf("mirrors at (%d, %d)\n", static_cast<int>(at.x), static_cast<int>(at.y));
    }
    scanner.Disconnect();  // the device goes back to its default baud rate
    return 0;
}
