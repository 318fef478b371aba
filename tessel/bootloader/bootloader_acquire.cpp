// Reading the device's identity, one request at a time.
#include <tessel/bootloader/bootloader.h>
#include <tessel/bootloader/detail/bootloader_protocol.h>
#include <tessel/bootloader/detail/heap_text.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

using tessel::detail::CopyText;
namespace proto = tessel::detail::bootloader_protocol;

namespace {
uint32_t BigEndian(const unsigned char* bytes, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}
}  // namespace

bool Bootloader::acquireDataField(unsigned char request, int replyLength, int* value) {
    unsigned char reply[9] = {};
    if (replyLength < 1 || replyLength > static_cast<int>(sizeof reply)) return false;
    if (!port.Send(&request, 1) || !port.Receive(reply, replyLength, timeoutMs) || reply[0] != request) return false;
    *value = static_cast<int>(BigEndian(reply + 1, replyLength - 1));
    return true;
}

bool Bootloader::acquireDeviceType() {
    return acquireDataField(proto::kDeviceType, 3, &deviceType) || acquireDataField(proto::kDeviceType, 2, &deviceType);
}
bool Bootloader::acquireDeviceSubType() { return acquireDataField(proto::kDeviceSubType, 3, &deviceSubType); }
bool Bootloader::acquireRevision() { return acquireDataField(proto::kRevision, 3, &revision); }
bool Bootloader::acquireFirmwareVersion() { return acquireDataField(proto::kFirmwareVersion, 3, &firmwareVersion); }
bool Bootloader::acquireBootloaderVersion() {
    return acquireDataField(proto::kBootloaderVersion, 3, &bootloaderVersion);
}
bool Bootloader::acquireMaxBaudrate() { return acquireDataField(proto::kMaxBaudRate, 5, &maxBaudRate); }

bool Bootloader::acquireProgramMode() {
    int value = 0;
    if (!acquireDataField(proto::kProgramMode, 2, &value)) return false;
    programMode = value == proto::kAccepted ? InProgmode : NotInProgmode;
    return true;
}

bool Bootloader::acquireSerialNumber() {
    unsigned char request = proto::kSerialNumber;
    unsigned char reply[1 + proto::kSerialNumberLength] = {};
    if (!port.Send(&request, 1) || !port.Receive(reply, sizeof reply, timeoutMs) || reply[0] != request) return false;
    char text[proto::kSerialNumberLength + 1] = {};
    for (int i = 0; i < proto::kSerialNumberLength && reply[1 + i] != 0; ++i) text[i] = static_cast<char>(reply[1 + i]);
    std::free(serialNumber);
    serialNumber = CopyText(text);
    return serialNumber != nullptr;
}

bool Bootloader::acquireProgramParameters() {
    unsigned char request = proto::kProgramParameters;
    unsigned char reply[9] = {};
    if (!port.Send(&request, 1) || !port.Receive(reply, sizeof reply, timeoutMs) || reply[0] != request) return false;
    blockSize = BigEndian(reply + 1, 4);
    programParameter2 = BigEndian(reply + 5, 4);
    return true;
}

bool Bootloader::acquireDeviceDescription() {
    unsigned char request = proto::kDescription;
    if (!port.Send(&request, 1)) return false;
    // Collected bytes: the echo (not compared) and then the text, up to a NUL byte. A device that
    // never sends the NUL is cut off after kMaxDescriptionLength text bytes.
    std::string collected;
    bool endedOnNul = false;
    while (collected.size() <= 1 + static_cast<size_t>(proto::kMaxDescriptionLength)) {
        unsigned char byte = 0;
        if (!port.Receive(&byte, 1, timeoutMs)) break;
        if (byte == 0) {
            endedOnNul = true;
            break;
        }
        collected.push_back(static_cast<char>(byte));
    }
    char* text = nullptr;
    if (collected.empty()) {
        text = CopyText("");
        endedOnNul = true;  // a device without a description answers nothing at all
    } else {
        size_t length = std::min(collected.size() - 1, static_cast<size_t>(proto::kMaxDescriptionLength));
        text = CopyText(collected.data() + 1, length);
    }
    std::free(deviceDescription);
    deviceDescription = text;
    return endedOnNul && text != nullptr;
}

bool Bootloader::AcquireDeviceInfo() {
    bool ok = port.Connect() && acquireBootloaderVersion() && acquireDeviceType();
    if (!ok) {
        deviceSubType = 0;
    } else {
        if (deviceType != 0) {
            ok = acquireDeviceSubType();
        } else {
            deviceSubType = 0;
        }
        ok = ok && acquireFirmwareVersion() && acquireMaxBaudrate() && acquireRevision() && acquireSerialNumber() &&
             acquireProgramMode() && acquireDeviceDescription();
        if (ok && programMode == InProgmode) ok = acquireProgramParameters();
    }
    deviceInfoAvailable = ok;
    port.Disconnect();
    return ok;
}
