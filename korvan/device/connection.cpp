#include <korvan/device/detail/connection.h>

#include <korvan/device/detail/device_identity.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/detail/outputs.h>
#include <korvan/device/line_rates.h>
#include <tessel/bootloader/bootloader.h>

#include <cstring>
#include <optional>
#include <regex>
#include <string>

namespace korvan::detail {
namespace {

bool IsSerialNumber(const char* text) {
    static const std::regex pattern("[0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]");
    return std::regex_match(text, pattern);
}

// Opens `name` for device commands once `boot` has identified the device there at `rate`:
// raises the baud rate first (unless kept), then records what was connected to.
bool OpenIdentified(Bootloader& boot, const char* name, int rate, int maxBaudRate, bool keepBaudRate, SerialLine& line,
                    DeviceInfo& connected) {
    line.rs232.baudRate = rate;
    if (!keepBaudRate && boot.SwitchToMaxBaudrate()) line.rs232.baudRate = maxBaudRate;
    std::string portName(name);
    if (!line.rs232.Connect(portName.data())) return false;
    DeviceInfo info{};
    // A device that cannot describe itself stays connected; its old description stays too.
    if (FillDeviceInfo(boot, name, &info)) connected = info;
    return true;
}

}  // namespace

void ReleaseLine(Session& session) {
    // A copy of this object that still uses the line keeps its connection as it is.
    if (session.PortOpen() && session.line.use_count() == 1) Exchange(session.Line(), Request(kResetBaudRate));
    session.line = std::make_shared<SerialLine>();
}

unsigned int Connect(Session& session, CalibrationHooks& calibration, const char* portNameOrSerialNumber) {
    if (portNameOrSerialNumber == nullptr) return ResultInvalidArgument;
    calibration.Darken(session);
    // The rate of the previous connection, at which a device whose connection was lost listens.
    const int previousRate = session.Line().rs232.baudRate;
    ReleaseLine(session);
    SerialLine& line = session.Line();
    const bool keepBaudRate = session.keepBaudRate != 0;

    int maxBaudRate = 0;
    int firmware = 0;
    std::optional<Bootloader> boot;
    if (IsSerialNumber(portNameOrSerialNumber)) {
        ForEachPortName(line.rs232, [&](const char* name) {
            const int rate = IdentifyAtAnyRate(boot, name, kBootloaderTimeoutMs, previousRate);
            char* serial = nullptr;
            bool opened = false;
            if (rate != 0 && boot->GetSerialNumber(&serial) && boot->GetMaxBaudrate(&maxBaudRate) &&
                std::strcmp(serial, portNameOrSerialNumber) == 0 && boot->GetFirmwareVersion(&firmware)) {
                session.firmwareVersion = static_cast<unsigned int>(firmware);
                opened = OpenIdentified(*boot, name, rate, maxBaudRate, keepBaudRate, line, session.deviceInfo);
            }
            Bootloader::Free(serial);
            return opened;
        });
    } else {
        const int rate = IdentifyAtAnyRate(boot, portNameOrSerialNumber, kBootloaderTimeoutMs, previousRate);
        int type = 0;
        if (rate != 0 && boot->GetDeviceType(&type) && type == kKorvanDeviceType &&
            boot->GetMaxBaudrate(&maxBaudRate) && boot->GetFirmwareVersion(&firmware)) {
            session.firmwareVersion = static_cast<unsigned int>(firmware);
            OpenIdentified(*boot, portNameOrSerialNumber, rate, maxBaudRate, keepBaudRate, line, session.deviceInfo);
        }
    }

    RefreshState(session);
    if (!session.PortOpen()) return ResultCommunicationError;
    unsigned int result = Stop(session, calibration);
    if (result == ResultSuccess) result = ClearDeviceErrors(session);
    if (result == ResultSuccess) result = DeleteAllSequences(session);
    if (result == ResultSuccess) result = ResetDevice(session);
    // The device keeps its tick time across connections; this object's sequences are compiled
    // with its own, so the two must agree from the start.
    if (result == ResultSuccess) result = SetTickTime(session, session.tickTime);
    RefreshState(session);
    session.lastDeviceError = 0;
    return result;
}

unsigned int Disconnect(Session& session, CalibrationHooks& calibration) {
    RefreshState(session);
    if (!session.PortOpen()) return ResultSuccess;
    Stop(session, calibration);
    unsigned int result = ResetDevice(session);
    if (Exchange(session.Line(), Request(kResetBaudRate)).Done()) result = ResultSuccess;
    session.Line().rs232.Disconnect();
    RefreshState(session);
    return result;
}

}  // namespace korvan::detail
