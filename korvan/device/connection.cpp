#include <korvan/device/korvan.h>

#include <korvan/device/detail/device_identity.h>
#include <korvan/device/detail/exchange.h>
#include <tessel/bootloader/bootloader.h>

#include <cstring>
#include <regex>
#include <string>

namespace {

bool IsSerialNumber(const char* text) {
    static const std::regex pattern("[0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]");
    return std::regex_match(text, pattern);
}

}  // namespace

// Opens `name` for device commands once `boot` has identified the device there: raises the
// baud rate first (unless kept), then records what was connected to.
static bool OpenIdentified(Bootloader& boot, const char* name, int maxBaudRate, bool keepBaudRate,
                           korvan::detail::SerialLine& line, DeviceInfo& connected) {
    if (!keepBaudRate && boot.SwitchToMaxBaudrate()) line.rs232.baudRate = maxBaudRate;
    std::string portName(name);
    if (!line.rs232.Connect(portName.data())) return false;
    DeviceInfo info{};
    // A device that cannot describe itself stays connected; its old description stays too.
    if (korvan::detail::FillDeviceInfo(boot, name, &info)) connected = info;
    return true;
}

unsigned int Korvan::Connect(const char* portNameOrSerialNumber) {
    using namespace korvan::detail;
    if (portNameOrSerialNumber == nullptr) return korvan::ResultInvalidArgument;
    DarkenCalibrationLaser();
    port = std::make_shared<SerialLine>();

    int maxBaudRate = 0;
    int firmware = 0;
    if (IsSerialNumber(portNameOrSerialNumber)) {
        ForEachPortName(port->rs232, [&](const char* name) {
            Bootloader boot(name, kBootloaderTimeoutMs, true);
            char* serial = nullptr;
            bool opened = false;
            if (boot.GetSerialNumber(&serial) && boot.GetMaxBaudrate(&maxBaudRate) &&
                std::strcmp(serial, portNameOrSerialNumber) == 0 && boot.GetFirmwareVersion(&firmware)) {
                firmwareVersion = static_cast<unsigned int>(firmware);
                opened = OpenIdentified(boot, name, maxBaudRate, keepBaudRate != 0, *port, deviceInfo);
            }
            boot.Free(serial);
            return opened;
        });
    } else {
        Bootloader boot(portNameOrSerialNumber, kBootloaderTimeoutMs, true);
        int type = 0;
        if (boot.GetDeviceType(&type) && type == kKorvanDeviceType && boot.GetMaxBaudrate(&maxBaudRate) &&
            boot.GetFirmwareVersion(&firmware)) {
            firmwareVersion = static_cast<unsigned int>(firmware);
            OpenIdentified(boot, portNameOrSerialNumber, maxBaudRate, keepBaudRate != 0, *port, deviceInfo);
        }
    }

    GetState(&state);
    if (!port->rs232.IsConnected()) return korvan::ResultCommunicationError;
    unsigned int result = Stop();
    if (result == 0) result = ClearLastDeviceError();
    if (result == 0) result = DeleteAllSequences();
    if (result == 0) result = ResetDevice();
    GetState(&state);
    lastDeviceError = 0;
    return result;
}

unsigned int Korvan::Disconnect() {
    using namespace korvan::detail;
    GetState(&state);
    if (!port->rs232.IsConnected()) return korvan::ResultSuccess;
    Stop();
    unsigned int result = ResetDevice();
    if (Exchange(*port, Request(kResetBaudRate)).Done()) result = korvan::ResultSuccess;
    port->rs232.Disconnect();
    GetState(&state);
    return result;
}
