#pragma once
// What the virtual device tells about itself through its bootloader.
#include <cstdint>
#include <string>

namespace sim {

struct Identity {
    int deviceType = 3;
    int deviceSubType = 1;
    int revision = 2;
    int firmwareVersion = 16;
    int bootloaderVersion = 2;              // not 1: entering programming mode needs "Enter Progmode\r\n"
    std::string serialNumber = "123-4567";  // up to 8 characters on the wire
    std::string description = "Korvan virtual scanner";
    int maxBaudRate = 921600;
    // Program parameters (request 0x1F): firmware block length and a second, opaque value.
    uint32_t blockSize = 256;
    uint32_t programParameter2 = 0;

    // Older bootloaders answer the device type with echo + one byte instead of two.
    bool shortDeviceType = false;
    // Program-mode requests answered "not yet" after the device was asked to enter programming
    // mode; -1: it never gets there.
    int progmodeAfterPolls = 0;
};

}  // namespace sim
