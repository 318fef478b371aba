#pragma once
#include <tessel/export.h>

class ASCIIProtocol;

/// Reads the identity of a device that speaks the text protocol (see ASCIIProtocol) as six
/// texts: device type, hardware revision, firmware version, bootloader version, serial number
/// and device name.
///
///   ASCIIBootloader device(name);          // opens the port at 115200 baud
///   if (device.UpdateDeviceInfo()) printf("%s %s\n", device.DeviceType(), device.Serial());
///
/// Each text holds at most 63 characters; longer answers are cut. Copying is refused (a copy
/// would share the port and the texts).
class TESSEL_API ASCIIBootloader {
public:
    /// Opens `portName` through an ASCIIProtocol with 500 ms per answer byte; all texts empty.
    explicit ASCIIBootloader(char* portName);
    ASCIIBootloader(const ASCIIBootloader&) = delete;
    ASCIIBootloader& operator=(const ASCIIBootloader&) = delete;
    /// Releases the texts and closes the port.
    ~ASCIIBootloader();

    /// Asks the six identity queries in the order of the accessors below. Each must be
    /// acknowledged with at least one answer line, whose text is kept. The first that is not
    /// ends the call with false: texts filled before it keep their new values, the others their
    /// old ones. True after the sixth.
    bool UpdateDeviceInfo();

    /// The texts themselves, owned by this object (valid while it lives; empty until filled).
    char* DeviceType();         ///< "device:type?"
    char* HardwareRevision();   ///< "device:revision?"
    char* FirmwareVersion();    ///< "device:firmware:version?"
    char* BootloaderVersion();  ///< "device:bootloader:version?"
    char* Serial();             ///< "device:serial?"
    char* DeviceName();         ///< "device:name?"

private:
    ASCIIProtocol* protocol;
    char* typeText;
    char* revisionText;
    char* firmwareText;
    char* bootloaderText;
    char* serialText;
    char* nameText;
};
