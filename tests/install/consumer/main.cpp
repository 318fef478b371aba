// Builds against the installed tree through the umbrella header and touches both libraries.
#include <korvan/korvan.h>

#include <cstdio>

int main() {
    Calibration calibration;  // korvan
    RPOINTF device = calibration.DeviceCoordinates(RPOINTF(100.0, 200.0));
    CRC_CCITT crc(static_cast<CRC_CCITT::InitialCrcValue>(0xFFFF));  // tessel
    unsigned char digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    if (device.x != 100.0 || crc.ComputeChecksum(digits, 9) != 0x29B1) return 1;
    std::printf("korvan %s with __cplusplus %ld\n", KorvanVersion(), static_cast<long>(__cplusplus));
    return 0;
}
