#include <tessel/bootloader/bootloader.h>
#include <tessel/bootloader/detail/bootloader_protocol.h>
#include <tessel/bootloader/detail/heap_text.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using tessel::detail::CopyText;
using tessel::detail::ReplaceText;
namespace proto = tessel::detail::bootloader_protocol;

namespace {
constexpr int kDefaultTimeoutMs = 1000;
constexpr int kDefaultBaudRate = 9600;
// The bootloader needs this long after the request and between two polls of the program mode.
constexpr std::chrono::milliseconds kProgmodeSettle(100);
}  // namespace

Bootloader::Bootloader(const char* portName, int timeout, bool acquire, int baudRate) {
    InitializeClass(portName, timeout, acquire, baudRate);
}
Bootloader::Bootloader(const char* portName, int timeout, bool acquire) {
    InitializeClass(portName, timeout, acquire, kDefaultBaudRate);
}
Bootloader::Bootloader(const char* portName, int timeout) {
    InitializeClass(portName, timeout, true, kDefaultBaudRate);
}
Bootloader::Bootloader(const char* portName, bool acquire) {
    InitializeClass(portName, kDefaultTimeoutMs, acquire, kDefaultBaudRate);
}
Bootloader::Bootloader(const char* portName) { InitializeClass(portName, kDefaultTimeoutMs, true, kDefaultBaudRate); }

void Bootloader::InitializeClass(const char* portName, int timeout, bool acquire, int baudRate) {
    progressCallback = nullptr;
    defaultBaudRate = kDefaultBaudRate;
    deviceInfoAvailable = false;
    timeoutMs = timeout;
    deviceType = deviceSubType = revision = firmwareVersion = bootloaderVersion = 0;
    serialNumber = nullptr;
    deviceDescription = nullptr;
    maxBaudRate = kDefaultBaudRate;
    blockSize = 0;
    programParameter2 = 0;
    programMode = NotInProgmode;
    port.PortName(portName);
    port.baudRate = baudRate;
    if (acquire) deviceInfoAvailable = AcquireDeviceInfo();
}

Bootloader::Bootloader(const Bootloader& other) : serialNumber(nullptr), deviceDescription(nullptr) { CopyFrom(other); }

Bootloader& Bootloader::operator=(const Bootloader& other) {
    if (this != &other) CopyFrom(other);
    return *this;
}

void Bootloader::CopyFrom(const Bootloader& other) {
    progressCallback = other.progressCallback;
    defaultBaudRate = other.defaultBaudRate;
    deviceInfoAvailable = other.deviceInfoAvailable;
    timeoutMs = other.timeoutMs;
    deviceType = other.deviceType;
    deviceSubType = other.deviceSubType;
    revision = other.revision;
    firmwareVersion = other.firmwareVersion;
    bootloaderVersion = other.bootloaderVersion;
    ReplaceText(serialNumber, other.serialNumber);
    ReplaceText(deviceDescription, other.deviceDescription);
    maxBaudRate = other.maxBaudRate;
    blockSize = other.blockSize;
    programParameter2 = other.programParameter2;
    port = other.port;  // RS232's copy takes name and settings and starts closed
    programMode = other.programMode;
}

Bootloader::~Bootloader() {
    std::free(serialNumber);
    std::free(deviceDescription);
    port.Disconnect();
}

bool Bootloader::IsDeviceInfoAvailable() { return deviceInfoAvailable; }

bool Bootloader::GetDeviceType(int* value) {
    if (value) *value = deviceType;
    return deviceInfoAvailable;
}
bool Bootloader::GetSubDeviceType(int* value) {
    if (value) *value = deviceSubType;
    return deviceInfoAvailable;
}
bool Bootloader::GetRevision(int* value) {
    if (value) *value = revision;
    return deviceInfoAvailable;
}
bool Bootloader::GetFirmwareVersion(int* value) {
    if (value) *value = firmwareVersion;
    return deviceInfoAvailable;
}
bool Bootloader::GetBootloaderVersion(int* value) {
    if (value) *value = bootloaderVersion;
    return deviceInfoAvailable;
}
bool Bootloader::GetMaxBaudrate(int* value) {
    if (value) *value = maxBaudRate;
    return deviceInfoAvailable;
}
bool Bootloader::GetProgramMode(DeviceProgrammingState* value) {
    if (value) *value = programMode;
    return deviceInfoAvailable;
}

bool Bootloader::GetSerialNumber(char** text) {
    if (!deviceInfoAvailable || text == nullptr) return false;
    *text = CopyText(serialNumber ? serialNumber : "");
    return *text != nullptr;
}

bool Bootloader::GetDeviceDescription(char** text) {
    if (!deviceInfoAvailable || text == nullptr) return false;
    *text = CopyText(deviceDescription ? deviceDescription : "");
    return *text != nullptr;
}

void Bootloader::GetCOMPort(char** text) {
    if (text == nullptr) return;
    char* name = port.PortName();
    *text = CopyText(name);
    port.FreeRS232Memory(name);
}

void Bootloader::Free(char*& text) {
    std::free(text);
    text = nullptr;
}

void Bootloader::FreeBootloader(Bootloader** list, int count) {
    if (list != nullptr) {
        for (int i = 0; i < count; ++i) delete list[i];
    }
    delete[] list;
}

void Bootloader::SetDataFields(const char* description, const char* serial, const char* portName, int type,
                               int subType) {
    ReplaceText(deviceDescription, description);
    ReplaceText(serialNumber, serial);
    port.PortName(portName);
    deviceType = type;
    deviceSubType = subType;
    deviceInfoAvailable = true;
}

bool Bootloader::SwitchBaudrate(unsigned char request, int newRate) {
    if (!port.Connect()) return false;
    unsigned char reply[2] = {0, 0};
    bool ok = port.Send(&request, 1) && port.Receive(reply, 2, timeoutMs) && reply[0] == request &&
              reply[1] == proto::kAccepted;
    port.Disconnect();
    if (ok) port.baudRate = newRate;
    return ok;
}

bool Bootloader::SwitchToMaxBaudrate() { return SwitchBaudrate(proto::kSwitchToMaxBaud, maxBaudRate); }

bool Bootloader::ResetBaudrate() { return SwitchBaudrate(proto::kResetBaud, defaultBaudRate); }

bool Bootloader::PollProgramMode() {
    port.Disconnect();
    std::this_thread::sleep_for(kProgmodeSettle);
    port.Connect();  // a port that does not open shows up as a failed request
    if (!acquireProgramMode()) programMode = NotInProgmode;
    return programMode == InProgmode;
}

bool Bootloader::EnterBootloader() {
    if (deviceInfoAvailable && programMode == InProgmode) return true;

    port.Connect();  // a failure shows up as failed polls
    unsigned char request = proto::kEnterProgmode;
    port.Send(&request, 1);
    if (bootloaderVersion != 1) {
        char text[] = "Enter Progmode\r\n";
        port.Send(text);
        std::this_thread::sleep_for(kProgmodeSettle);
    }

    // The number of polls grows with the time-out as the device's firmware expects; below 10 ms
    // the divisor would be 0, so such time-outs poll as 10 ms does.
    int divisor = timeoutMs / 10;
    int pollsThatCount = (divisor != 0 ? timeoutMs / divisor + 1 : 11) + 1;
    // One more poll follows; a device that gets there on that one is taken as well.
    bool reached = false;
    for (int poll = 0; poll < pollsThatCount + 1 && !reached; ++poll) reached = PollProgramMode();

    if (reached) {
        std::this_thread::sleep_for(kProgmodeSettle);
        reached = acquireProgramParameters() && programMode == InProgmode;
    }
    port.Disconnect();
    return reached;
}
