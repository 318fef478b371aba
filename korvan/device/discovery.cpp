#include <korvan/device/detail/connection.h>

#include <korvan/device/detail/device_identity.h>
#include <korvan/device/detail/process_state.h>
#include <korvan/device/line_rates.h>
#include <tessel/bootloader/bootloader.h>
#include <tessel/serial/port_probe.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

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

int korvan::IdentifyAtAnyRate(std::optional<Bootloader>& boot, const char* name, int timeoutMs, int lastRate) {
    boot.emplace(name, timeoutMs, true);
    if (boot->IsDeviceInfoAvailable()) return kDefaultBaudRate;
    std::vector<int> rates;
    if (lastRate > kDefaultBaudRate) rates.push_back(lastRate);
    for (int rate : kFastBaudRates)
        if (rate != lastRate) rates.push_back(rate);
    for (int rate : rates) {
        boot.emplace(name, kFastRateProbeTimeoutMs, false, rate);
        // The short time-out only tells whether anything listens; the identity is read at full length.
        if (!boot->AcquireDeviceInfo()) continue;
        boot.emplace(name, timeoutMs, true, rate);
        if (boot->IsDeviceInfoAvailable()) return rate;
    }
    return 0;
}

namespace korvan::detail {

unsigned int Search(Session& session, CalibrationHooks& calibration) {
    calibration.Darken(session);
    ReleaseLine(session);
    auto& devices = ProcessWide().deviceList;
    devices.clear();
    struct Found {
        bool ok = false;
        DeviceInfo info{};
    };
    const std::vector<Found> found =
        tessel::ProbeEach(tessel::PortNames(session.Line().rs232), [](const std::string& name) {
            std::optional<Bootloader> boot;
            Found f;
            f.ok = IdentifyAtAnyRate(boot, name.c_str(), kBootloaderTimeoutMs) != 0 &&
                   FillDeviceInfo(*boot, name.c_str(), &f.info);
            return f;
        });
    for (const Found& f : found)
        if (f.ok) devices.push_back(f.info);
    return static_cast<unsigned int>(devices.size());
}

unsigned int GetDeviceInfo(const Session& session, int index, DeviceInfo* info) {
    const auto& devices = ProcessWide().deviceList;
    if (info == nullptr) return ResultInvalidArgument;
    if (index < -1 || (index >= 0 && static_cast<std::size_t>(index) >= devices.size())) return ResultInvalidArgument;
    if (index == -1) {
        if (!session.PortOpen()) return ResultCommunicationError;
        *info = session.deviceInfo;
    } else {
        *info = devices[static_cast<std::size_t>(index)];
    }
    return ResultSuccess;
}

}  // namespace korvan::detail
