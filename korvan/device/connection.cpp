#include <korvan/device/detail/connection.h>

#include <korvan/device/detail/device_identity.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/detail/outputs.h>
#include <korvan/device/line_rates.h>
#include <tessel/bootloader/bootloader.h>
#include <tessel/serial/port_probe.h>

#include <cstring>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

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

    if (IsSerialNumber(portNameOrSerialNumber)) {
        // Every port is asked at once; the first in enumeration order that carries the number wins.
        struct Probe {
            std::optional<Bootloader> boot;
            int rate = 0, maxBaudRate = 0, firmware = 0;
            bool matches = false;
        };
        const std::vector<std::string> names = tessel::PortNames(line.rs232);
        const std::vector<std::unique_ptr<Probe>> probes = tessel::ProbeEach(names, [&](const std::string& name) {
            auto p = std::make_unique<Probe>();
            p->rate = IdentifyAtAnyRate(p->boot, name.c_str(), kBootloaderTimeoutMs, previousRate);
            char* serial = nullptr;
            p->matches = p->rate != 0 && p->boot->GetSerialNumber(&serial) &&
                         p->boot->GetMaxBaudrate(&p->maxBaudRate) && std::strcmp(serial, portNameOrSerialNumber) == 0 &&
                         p->boot->GetFirmwareVersion(&p->firmware);
            Bootloader::Free(serial);
            if (!p->matches) p->boot.reset();  // closes the port at once
            return p;
        });
        for (std::size_t i = 0; i < names.size(); ++i) {
            Probe& p = *probes[i];
            if (!p.matches) continue;
            session.firmwareVersion = static_cast<unsigned int>(p.firmware);
            if (OpenIdentified(*p.boot, names[i].c_str(), p.rate, p.maxBaudRate, keepBaudRate, line,
                               session.deviceInfo))
                break;
        }
    } else {
        int maxBaudRate = 0;
        int firmware = 0;
        std::optional<Bootloader> boot;
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
