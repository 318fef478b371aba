#pragma once
// Description of one device, as its bootloader reports it.
#include <korvan/export.h>

/// One device found by Korvan::Search or connected by Korvan::Connect. All texts are
/// zero-terminated; longer texts from the device are cut to fit.
struct KORVAN_API DeviceInfo {
    char portName[10];      ///< serial port name, as enumerated ("ttyUSB0", "pts/3")
    char serialNumber[10];  ///< three digits, a hyphen, four digits
    char description[50];   ///< the device's description text
    int revision;           ///< hardware revision
    int bootloaderVersion;
    int firmwareVersion;
    int deviceType;  ///< always 3 for a Korvan device
    int deviceSubType;
};
