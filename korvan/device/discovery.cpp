#include <korvan/device/korvan.h>

#include <korvan/device/detail/device_identity.h>
#include <korvan/device/detail/exchange.h>
#include <korvan/device/detail/process_state.h>
#include <tessel/bootloader/bootloader.h>

#include <cstring>

namespace korvan::detail {

void CopyField(char* field, std::size_t size, const char* text) {
    std::size_t n = text != nullptr ? strnlen(text, size - 1) : 0;
    if (n > 0) std::memcpy(field, text, n);
    std::memset(field + n, 0, size - n);
}

bool FillDeviceInfo(Bootloader& boot, const char* portName, DeviceInfo* info) {
    int type = 0, subType = 0, firmware = 0, bootloaderVersion = 0, revision = 0;
    if (!boot.IsDeviceInfoAvailable()) return false;
    if (!boot.GetDeviceType(&type) || type != kKorvanDeviceType) return false;
    char* serial = nullptr;
    char* description = nullptr;
    bool ok = boot.GetSubDeviceType(&subType) && boot.GetFirmwareVersion(&firmware) && boot.GetSerialNumber(&serial) &&
              boot.GetDeviceDescription(&description) && boot.GetBootloaderVersion(&bootloaderVersion) &&
              boot.GetRevision(&revision);
    if (ok) {
        info->deviceType = type;
        info->deviceSubType = subType;
        info->firmwareVersion = firmware;
        info->bootloaderVersion = bootloaderVersion;
        info->revision = revision;
        CopyField(info->portName, sizeof info->portName, portName);
        CopyField(info->serialNumber, sizeof info->serialNumber, serial);
        CopyField(info->description, sizeof info->description, description);
    }
    boot.Free(serial);
    boot.Free(description);
    return ok;
}

}  // namespace korvan::detail

unsigned int Korvan::Search() {
    using namespace korvan::detail;
    DarkenCalibrationLaser();
    port = std::make_shared<SerialLine>();
    auto& devices = ProcessWide().deviceList;
    devices.clear();
    ForEachPortName(port->rs232, [&](const char* name) {
        Bootloader boot(name, kBootloaderTimeoutMs, true);
        DeviceInfo info{};
        if (FillDeviceInfo(boot, name, &info)) devices.push_back(info);
        return false;
    });
    return static_cast<unsigned int>(devices.size());
}
