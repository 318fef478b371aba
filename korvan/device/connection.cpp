#include <korvan/device/korvan.h>

#include <korvan/device/detail/device_identity.h>
#include <korvan/device/detail/exchange.h>
#include <tessel/bootloader/bootloader.h>

#include <cstring>
#include <optional>
#include <regex>
#include <string>

namespace {

constexpr int kStartBaudRate = 9600;

bool IsSerialNumber(const char* text) {
    static const std::regex pattern("[0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]");
    return std::regex_match(text, pattern);
}

}  // namespace

// Identifies the device at `name` into `boot`: at 9600 baud, where a device starts, and then
// at `fallbackRate` when that is faster. A connection that was lost without its closing reset
// leaves the device at the raised rate of that connection, deaf to 9600 baud until reset.
// Returns the rate the device answered at, or 0.
static int Identify(std::optional<Bootloader>& boot, const char* name, int fallbackRate) {
    boot.emplace(name, korvan::detail::kBootloaderTimeoutMs, true);
    if (boot->IsDeviceInfoAvailable()) return kStartBaudRate;
    if (fallbackRate <= kStartBaudRate) return 0;
    boot.emplace(name, korvan::detail::kBootloaderTimeoutMs, true, fallbackRate);
    return boot->IsDeviceInfoAvailable() ? fallbackRate : 0;
}

// Opens `name` for device commands once `boot` has identified the device there at `rate`:
// raises the baud rate first (unless kept), then records what was connected to.
static bool OpenIdentified(Bootloader& boot, const char* name, int rate, int maxBaudRate, bool keepBaudRate,
                           korvan::detail::SerialLine& line, DeviceInfo& connected) {
    line.rs232.baudRate = rate;
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
    // The rate of the previous connection, at which a device whose connection was lost listens.
    const int previousRate = port ? port->rs232.baudRate : 0;
    port = std::make_shared<SerialLine>();

    int maxBaudRate = 0;
    int firmware = 0;
    std::optional<Bootloader> boot;
    if (IsSerialNumber(portNameOrSerialNumber)) {
        ForEachPortName(port->rs232, [&](const char* name) {
            const int rate = Identify(boot, name, previousRate);
            char* serial = nullptr;
            bool opened = false;
            if (rate != 0 && boot->GetSerialNumber(&serial) && boot->GetMaxBaudrate(&maxBaudRate) &&
                std::strcmp(serial, portNameOrSerialNumber) == 0 && boot->GetFirmwareVersion(&firmware)) {
                firmwareVersion = static_cast<unsigned int>(firmware);
                opened = OpenIdentified(*boot, name, rate, maxBaudRate, keepBaudRate != 0, *port, deviceInfo);
            }
            Bootloader::Free(serial);
            return opened;
        });
    } else {
        const int rate = Identify(boot, portNameOrSerialNumber, previousRate);
        int type = 0;
        if (rate != 0 && boot->GetDeviceType(&type) && type == kKorvanDeviceType &&
            boot->GetMaxBaudrate(&maxBaudRate) && boot->GetFirmwareVersion(&firmware)) {
            firmwareVersion = static_cast<unsigned int>(firmware);
            OpenIdentified(*boot, portNameOrSerialNumber, rate, maxBaudRate, keepBaudRate != 0, *port, deviceInfo);
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
