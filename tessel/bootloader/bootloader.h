#pragma once
// Client of the device's bootloader protocol: identity, baud rate, programming mode, firmware.
#include <tessel/export.h>
#include <tessel/serial/rs232.h>

// A Bootloader talks to the bootloader of one device on one serial port. Every request is one
// byte, answered by its echo and a fixed number of value bytes (big-endian). Each operation that
// talks to the device opens the port itself and closes it before it returns, so a Bootloader
// never holds the port between calls. Failures are reported as false; nothing is thrown.
//
// Strings handed out (GetSerialNumber, GetDeviceDescription, GetCOMPort) are new copies on
// tessel's heap: release them with Bootloader::Free or RS232::FreeRS232Memory.
//
// Copying: a copy gets its own copies of the strings and of the identity, and a port of its own
// with the same name and baud rate, closed. Nothing is shared, so both objects may be destroyed.
class TESSEL_API Bootloader {
public:
    enum DeviceProgrammingState : int {
        InProgmode = 0,     // the bootloader is ready to receive firmware
        NotInProgmode = 1,  // any other answer; also the state after a completed update
    };

    // Called on the calling thread during UpdateFirmware with (bytes sent before the current
    // block, image size) and finally (size, size). Null by default; its result is not used.
    bool (*progressCallback)(int done, int total);

    // All constructors copy the port name and leave the port closed; the port opens at 9600 baud
    // unless baudRate says otherwise. Where acquisition is asked for (or implied), the constructor
    // runs AcquireDeviceInfo and IsDeviceInfoAvailable tells its outcome.
    Bootloader(const char* portName, int timeoutMs, bool acquire, int baudRate);
    Bootloader(const char* portName, int timeoutMs, bool acquire);
    Bootloader(const char* portName, int timeoutMs);  // acquires
    Bootloader(const char* portName, bool acquire);   // 1000 ms
    explicit Bootloader(const char* portName);        // 1000 ms, acquires
    Bootloader(const Bootloader& other);
    Bootloader& operator=(const Bootloader& other);
    // Releases the strings it holds and closes the port.
    ~Bootloader();

    // Reads the whole identity (bootloader version, type, sub-type, firmware version, maximum
    // baud rate, revision, serial number, program mode, description and, in programming mode,
    // the program parameters). The first failing request ends it with false. The result is also
    // what IsDeviceInfoAvailable reports afterwards.
    bool AcquireDeviceInfo();
    // Outcome of the last acquisition (or true after SetDataFields); false before any.
    bool IsDeviceInfoAvailable();

    // Write the stored value and return IsDeviceInfoAvailable(); they never talk to the device.
    bool GetDeviceType(int* value);
    bool GetSubDeviceType(int* value);
    bool GetRevision(int* value);
    bool GetFirmwareVersion(int* value);
    bool GetBootloaderVersion(int* value);
    bool GetMaxBaudrate(int* value);
    bool GetProgramMode(DeviceProgrammingState* value);

    // Without device information: false and *text untouched. Otherwise *text = a new copy (the
    // caller frees it with Free) and true.
    bool GetSerialNumber(char** text);
    bool GetDeviceDescription(char** text);
    // *text = a new copy of the port name (free it with Free), or null when none is stored.
    void GetCOMPort(char** text);

    // Releases a string handed out by this class (null is fine) and sets `text` to null.
    static void Free(char*& text);
    // Deletes every non-null element of `list` (each made with new Bootloader) and then the list
    // itself (made with new Bootloader*[n]). A count of 0 or less releases only the list.
    static void FreeBootloader(Bootloader** list, int count);

    // Stores identity data a caller already has, without talking to the device, and marks the
    // device information as available. Null strings store nothing for that field.
    void SetDataFields(const char* description, const char* serialNumber, const char* portName, int deviceType,
                       int deviceSubType);

    // Asks the device for its maximum baud rate (0x1B). On the answer 0x1B 0x20 the port opens at
    // the maximum rate from then on; a caller with a port of its own sets that port's baudRate to
    // GetMaxBaudrate's value. Any other answer: false, baud rate unchanged.
    bool SwitchToMaxBaudrate();
    // Returns the device to 9600 baud (0x1E); on 0x1E 0x20 the port opens at 9600 from then on.
    bool ResetBaudrate();

    // Brings the bootloader into programming mode (0x1D, then "Enter Progmode\r\n" unless the
    // bootloader version is 1) and polls the program mode on a freshly opened port every 100 ms.
    // The number of polls follows from the time-out: 13 for 500 ms and for any multiple of 10;
    // time-outs below 10 ms poll as 10 ms does. On success the program parameters (block size)
    // are read as well. True at once when the stored state already says InProgmode.
    bool EnterBootloader();

    // Writes a raw firmware image, cut into blocks of the size the bootloader reported, each with
    // its CRC-16 (start 0xFFFF), after a 10-byte header carrying `updateParameter`. Needs device
    // information and InProgmode. Fails without any traffic for an empty image, a block size of 0,
    // or an image that the header cannot describe (more than 255 blocks, a last block longer than
    // 65535 bytes). Stops at the first refused block. After success the device has left
    // programming mode; AcquireDeviceInfo reads its new identity.
    bool UpdateFirmware(int updateParameter, unsigned char* data, long size);
    // The same with the contents of a file (read whole, binary). An unreadable file gives false
    // without traffic.
    bool UpdateFirmware(int updateParameter, const char* file);

private:
    void InitializeClass(const char* portName, int timeoutMs, bool acquire, int baudRate);
    void CopyFrom(const Bootloader& other);
    bool SwitchBaudrate(unsigned char request, int newRate);
    bool PollProgramMode();

    bool acquireDataField(unsigned char request, int replyLength, int* value);
    bool acquireDeviceType();
    bool acquireDeviceSubType();
    bool acquireRevision();
    bool acquireFirmwareVersion();
    bool acquireBootloaderVersion();
    bool acquireMaxBaudrate();
    bool acquireProgramMode();
    bool acquireSerialNumber();
    bool acquireDeviceDescription();
    bool acquireProgramParameters();

    int defaultBaudRate;
    bool deviceInfoAvailable;
    int timeoutMs;
    int deviceType;
    int deviceSubType;
    int revision;
    int firmwareVersion;
    int bootloaderVersion;
    char* serialNumber;
    char* deviceDescription;
    int maxBaudRate;
    unsigned int blockSize;
    unsigned int programParameter2;
    RS232 port;
    DeviceProgrammingState programMode;
};
